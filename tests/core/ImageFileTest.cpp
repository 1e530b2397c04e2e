#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "core/Error.h"
#include "core/ImageFile.h"

namespace imvora {
namespace {

namespace fs = std::filesystem;
using TBytes = std::vector<std::uint8_t>;

const fs::path kBmpSuite = fs::path(IMVORA_SOURCE_DIR) / ".." / "shared" / "testdata" / "bmpsuite";

bool HaveImageMagick() {
  static const bool have = std::system("convert -version > /dev/null 2>&1") == 0;
  return have;
}

std::string Quoted(const fs::path& path) {
  return "'" + path.string() + "'";
}

struct TTempDir {
  TTempDir() {
    std::string pattern = (fs::temp_directory_path() / "imvora-io-XXXXXX").string();
    Path = mkdtemp(pattern.data());
  }
  ~TTempDir() { fs::remove_all(Path); }
  fs::path operator/(const std::string& name) const { return Path / name; }
  fs::path Path;
};

TBytes ReadBytes(const fs::path& path) {
  return ReadWholeFile(path.string());
}

void WriteBytes(const fs::path& path, const TBytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

// The pixels ImageMagick decodes from a file, through a binary PPM.
TBitmap DecodeWithImageMagick(const fs::path& file, const TTempDir& temp) {
  const fs::path ppm = temp / "reference.ppm";
  fs::remove(ppm);
  const std::string command =
      "convert " + Quoted(file) + " -depth 8 ppm:" + Quoted(ppm) + " 2> /dev/null";
  if (std::system(command.c_str()) != 0) return TBitmap();
  std::ifstream in(ppm, std::ios::binary);
  std::string magic;
  int width = 0, height = 0, maxValue = 0;
  in >> magic >> width >> height >> maxValue;
  in.get();
  TBitmap bitmap(width, height);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = bitmap.ScanLine(y);
    in.read(reinterpret_cast<char*>(row), 3 * width);
    for (int x = 0; x < width; ++x) std::swap(row[3 * x], row[3 * x + 2]);  // RGB to BGR
  }
  return in ? bitmap : TBitmap();
}

// Empty when the pixels agree, otherwise where they first differ.
std::string Difference(const TBitmap& actual, const TBitmap& expected) {
  if (actual.Width() != expected.Width() || actual.Height() != expected.Height()) {
    return "size " + std::to_string(actual.Width()) + "x" + std::to_string(actual.Height()) +
           " instead of " + std::to_string(expected.Width()) + "x" +
           std::to_string(expected.Height());
  }
  for (int y = 0; y < actual.Height(); ++y) {
    for (int x = 0; x < actual.Width(); ++x) {
      const std::uint8_t* a = actual.ScanLine(y) + x * actual.BytesPerPixel();
      const std::uint8_t* e = expected.ScanLine(y) + x * expected.BytesPerPixel();
      if (a[0] != e[0] || a[1] != e[1] || a[2] != e[2]) {
        return "pixel " + std::to_string(x) + "," + std::to_string(y);
      }
    }
  }
  return "";
}

std::vector<std::uint8_t> Pixel(const TBitmap& bitmap, int x, int y) {
  const std::uint8_t* p = bitmap.ScanLine(y) + x * bitmap.BytesPerPixel();
  return {p[0], p[1], p[2]};
}

// A bitmap with smooth gradients and some detail, of the given pixel size.
TBitmap TestPicture(int width, int height, int bitsPerPixel = 24) {
  TBitmap bitmap(width, height, bitsPerPixel);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = bitmap.ScanLine(y) + x * bitmap.BytesPerPixel();
      p[0] = static_cast<std::uint8_t>(x * 255 / width);
      p[1] = static_cast<std::uint8_t>(y * 255 / height);
      p[2] = static_cast<std::uint8_t>((x + y) * 2);
      if (bitsPerPixel == 32) p[3] = static_cast<std::uint8_t>(x * 30 + y);
    }
  }
  return bitmap;
}

std::uint32_t U32At(const TBytes& bytes, std::size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | std::uint32_t{bytes[at + 3]} << 24;
}

// Little-endian, `size` bytes.
void Put(TBytes& out, std::uint32_t value, int size = 4) {
  for (int i = 0; i < size; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// A bitmap file with a 40-byte info header, assembled by hand so that tests can state exactly
// which bytes a decoder meets.
struct TBmpBuilder {
  std::int32_t Width = 4;
  std::int32_t Height = 2;
  int Bits = 8;
  std::uint32_t Compression = 0;
  std::vector<std::uint32_t> Masks;    // written after the header when not empty
  std::vector<std::uint32_t> Palette;  // 0x00RRGGBB
  TBytes Pixels;

  TBytes Build() const {
    const std::uint32_t offset =
        static_cast<std::uint32_t>(54 + 4 * Masks.size() + 4 * Palette.size());
    const auto size = static_cast<std::uint32_t>(Pixels.size());
    TBytes out = {'B', 'M'};
    for (std::uint32_t field :
         {offset + size, 0u, offset, 40u, std::uint32_t(Width), std::uint32_t(Height)}) {
      Put(out, field);
    }
    Put(out, 1, 2);
    Put(out, static_cast<std::uint32_t>(Bits), 2);
    for (std::uint32_t field :
         {Compression, size, 0u, 0u, static_cast<std::uint32_t>(Palette.size()), 0u}) {
      Put(out, field);
    }
    for (const auto* words : {&Masks, &Palette}) {
      for (std::uint32_t value : *words) Put(out, value);
    }
    out.insert(out.end(), Pixels.begin(), Pixels.end());
    return out;
  }
};

const std::vector<std::uint8_t> kRed = {0x00, 0x00, 0xff};
const std::vector<std::uint8_t> kGreen = {0x00, 0xff, 0x00};
const std::vector<std::uint8_t> kBlue = {0xff, 0x00, 0x00};

// Palette entry 0 is red, so that pixels that fall back to it are told apart from black.
TBmpBuilder IndexedBuilder(int bits, std::uint32_t compression, TBytes pixels) {
  TBmpBuilder builder;
  builder.Bits = bits;
  builder.Compression = compression;
  builder.Palette = {0xff0000, 0x00ff00, 0x0000ff};
  builder.Pixels = std::move(pixels);
  return builder;
}

bool DecodesOrFailsCleanly(const TBytes& bytes) {
  try {
    DecodeBmp(bytes);
  } catch (const EImvoraError&) {
  }
  return true;  // anything else escapes and fails the test
}

// ---- BMP files written by ImageMagick ----

struct TBmpVariant {
  const char* Name;
  const char* Options;
  const char* Format;
  bool WithAlpha;
  std::uint32_t HeaderSize;
  int Bits;
  std::uint32_t Compression;
};

class BmpVariantTest : public testing::TestWithParam<TBmpVariant> {};

TEST_P(BmpVariantTest, DecodesAsImageMagickDoes) {
  if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick's convert is not installed";
  const TBmpVariant& variant = GetParam();
  TTempDir temp;
  const fs::path bmp = temp / "variant.bmp";
  const std::string alpha =
      variant.WithAlpha ? " \\( +clone -fx i/w \\) -compose copy_opacity -composite" : "";
  const std::string command = "convert -size 40x13 gradient:orange-navy -swirl 90" + alpha + " " +
                              variant.Options + " " + variant.Format + ":" + Quoted(bmp);
  ASSERT_EQ(std::system(command.c_str()), 0) << command;

  const TBytes bytes = ReadBytes(bmp);
  ASSERT_EQ(U32At(bytes, 14), variant.HeaderSize) << "ImageMagick wrote another variant";
  const std::size_t bitsAt = variant.HeaderSize == 12 ? 24 : 28;
  ASSERT_EQ(bytes[bitsAt], variant.Bits);
  if (variant.HeaderSize != 12) {
    ASSERT_EQ(U32At(bytes, 30), variant.Compression);
  }

  const TBitmap expected = DecodeWithImageMagick(bmp, temp);
  ASSERT_FALSE(expected.Empty());
  EXPECT_EQ(Difference(DecodeBmp(bytes), expected), "");
}

INSTANTIATE_TEST_SUITE_P(
    Variants, BmpVariantTest,
    testing::Values(
        TBmpVariant{"Core24", "", "BMP2", false, 12, 24, 0},
        TBmpVariant{"Core1", "-type Bilevel", "BMP2", false, 12, 1, 0},
        TBmpVariant{"Core4", "-colors 12 -type Palette", "BMP2", false, 12, 4, 0},
        TBmpVariant{"Core8", "-colors 200 -type Palette", "BMP2", false, 12, 8, 0},
        TBmpVariant{"Info24", "", "BMP3", false, 40, 24, 0},
        TBmpVariant{"Info1", "-type Bilevel", "BMP3", false, 40, 1, 0},
        TBmpVariant{"Info4", "-colors 12 -type Palette", "BMP3", false, 40, 4, 0},
        TBmpVariant{"Info8", "-colors 200 -type Palette -compress None", "BMP3", false, 40, 8, 0},
        TBmpVariant{"InfoRle8", "-colors 200 -type Palette -compress RLE", "BMP3", false, 40, 8, 1},
        TBmpVariant{"Info32Alpha", "-define bmp3:alpha=true", "BMP3", true, 40, 32, 0},
        TBmpVariant{"V4Bilevel", "-type Bilevel", "BMP", false, 108, 1, 0},
        TBmpVariant{"V5Palette8", "-colors 200 -type Palette -compress None", "BMP", false, 124, 8,
                    0},
        TBmpVariant{"V5Rle8", "-colors 200 -type Palette", "BMP", false, 124, 8, 1},
        TBmpVariant{"V5Fields32", "", "BMP", true, 124, 32, 3},
        TBmpVariant{"V5Rgb565", "-define bmp:subtype=RGB565", "BMP", false, 124, 16, 3},
        TBmpVariant{"V5Rgb555", "-define bmp:subtype=RGB555", "BMP", false, 124, 16, 3},
        TBmpVariant{"V5Argb4444", "-define bmp:subtype=ARGB4444", "BMP", true, 124, 16, 3},
        TBmpVariant{"V5Argb1555", "-define bmp:subtype=ARGB1555", "BMP", true, 124, 16, 3}),
    [](const testing::TestParamInfo<TBmpVariant>& info) { return info.param.Name; });

// ---- The BMP conformance suite ----

std::vector<fs::path> SuiteFiles(const std::string& folder) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(kBmpSuite / folder)) files.push_back(entry);
  std::sort(files.begin(), files.end());
  return files;
}

class BmpSuiteTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!fs::is_directory(kBmpSuite)) GTEST_SKIP() << "no BMP suite at " << kBmpSuite;
  }
};

TEST_F(BmpSuiteTest, GoodFilesDecodeAsImageMagickDoes) {
  if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick's convert is not installed";
  TTempDir temp;
  for (const fs::path& file : SuiteFiles("g")) {
    SCOPED_TRACE(file.filename().string());
    TBitmap decoded;
    ASSERT_NO_THROW(decoded = LoadImageFile(file.string()));
    EXPECT_EQ(Difference(decoded, DecodeWithImageMagick(file, temp)), "");
  }
}

// ImageMagick reads the 64-byte OS/2 header's palette from the wrong place; those files are
// meant to look like g/pal8.bmp.
TEST_F(BmpSuiteTest, QuestionableFilesBothDecodersAcceptAgree) {
  if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick's convert is not installed";
  TTempDir temp;
  const TBitmap pal8 = LoadImageFile((kBmpSuite / "g" / "pal8.bmp").string());
  for (const fs::path& file : SuiteFiles("q")) {
    SCOPED_TRACE(file.filename().string());
    TBitmap decoded;
    try {
      decoded = LoadImageFile(file.string());
    } catch (const EImvoraError&) {
      continue;
    }
    if (file.filename().string().rfind("pal8os2v2", 0) == 0) {
      EXPECT_EQ(Difference(decoded, pal8), "");
      continue;
    }
    const TBitmap reference = DecodeWithImageMagick(file, temp);
    if (!reference.Empty()) {
      EXPECT_EQ(Difference(decoded, reference), "");
    }
  }
}

TEST_F(BmpSuiteTest, QuestionableAndBadFilesNeverCrash) {
  for (const char* folder : {"q", "b"}) {
    for (const fs::path& file : SuiteFiles(folder)) {
      SCOPED_TRACE(file.filename().string());
      EXPECT_TRUE(DecodesOrFailsCleanly(ReadBytes(file)));
    }
  }
}

TEST_F(BmpSuiteTest, ClearlyBrokenFilesAreRefused) {
  for (const char* name : {"badbitcount", "badheadersize", "badpalettesize", "badplanes",
                           "badwidth", "reallybig", "shortfile"}) {
    SCOPED_TRACE(name);
    EXPECT_THROW(LoadImageFile((kBmpSuite / "b" / (std::string(name) + ".bmp")).string()),
                 EImvoraError);
  }
}

// ---- Hand-made BMP files: the cases a decoder must decide ----

TEST(BmpDecodeTest, TopDownRowsAndPaletteIndexPastThePalette) {
  // Rows of 4 one-byte indices; index 7 lies past the 3-entry palette and shows entry 0.
  TBmpBuilder builder = IndexedBuilder(8, 0, {1, 2, 7, 0, 2, 2, 2, 2});
  builder.Height = -2;
  const TBitmap bitmap = DecodeBmp(builder.Build());
  EXPECT_EQ(Pixel(bitmap, 0, 0), kGreen);
  EXPECT_EQ(Pixel(bitmap, 1, 0), kBlue);
  EXPECT_EQ(Pixel(bitmap, 2, 0), kRed);
  EXPECT_EQ(Pixel(bitmap, 0, 1), kBlue);
}

TEST(BmpDecodeTest, RleRunPastTheRowEndIsClippedAndUnwrittenPixelsShowEntryZero) {
  // RLE8, bottom-up: a run of 6 in the 4-pixel bottom row, end of line, 1 green pixel, then a
  // delta past the image; the rest of the top row is never written.
  const TBitmap bitmap = DecodeBmp(IndexedBuilder(8, 1, {6, 2, 0, 0, 1, 1, 0, 2, 0, 5}).Build());
  for (int x = 0; x < 4; ++x) EXPECT_EQ(Pixel(bitmap, x, 1), kBlue) << x;
  EXPECT_EQ(Pixel(bitmap, 0, 0), kGreen);
  EXPECT_EQ(Pixel(bitmap, 1, 0), kRed);
}

TEST(BmpDecodeTest, Rle4LiteralsAndRunsAlternateNibbles) {
  // A run of 3 alternating 1 and 2, end of line, a literal of 3 nibbles 2 1 2 padded to a word.
  const TBitmap bitmap =
      DecodeBmp(IndexedBuilder(4, 2, {3, 0x12, 0, 0, 0, 3, 0x21, 0x20, 0, 1}).Build());
  const std::vector<std::uint8_t> expected[2][3] = {{kBlue, kGreen, kBlue},
                                                    {kGreen, kBlue, kGreen}};
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) EXPECT_EQ(Pixel(bitmap, x, y), expected[y][x]) << x << "," << y;
  }
  EXPECT_EQ(Pixel(bitmap, 3, 1), kRed);
}

TEST(BmpDecodeTest, RleStreamEndingBeforeTheImageIsTruncated) {
  EXPECT_THROW(DecodeBmp(IndexedBuilder(8, 1, {4, 1, 0, 0, 2}).Build()), EImvoraError);
  EXPECT_THROW(DecodeBmp(IndexedBuilder(8, 1, {0, 9, 1, 1}).Build()), EImvoraError);
}

TBmpBuilder FieldBuilder(std::vector<std::uint32_t> masks) {
  return TBmpBuilder{1, 1, 16, 3, std::move(masks), {}, {0xff, 0xff, 0, 0}};
}

TEST(BmpDecodeTest, BitFieldMasksMustBeContiguousAndApart) {
  EXPECT_EQ(Pixel(DecodeBmp(FieldBuilder({0xf800, 0x07e0, 0}).Build()), 0, 0),
            (std::vector<std::uint8_t>{0, 0xff, 0xff}));
  EXPECT_THROW(DecodeBmp(FieldBuilder({0xf800, 0x0fe0, 0x001f}).Build()), EImvoraError);
  EXPECT_THROW(DecodeBmp(FieldBuilder({0xf000, 0x07e0, 0x0101}).Build()), EImvoraError);
}

TEST(BmpDecodeTest, ImpossibleSizesAreRefusedBeforeAllocating) {
  for (const auto& [width, height] : std::vector<std::pair<std::int32_t, std::int32_t>>{
           {0, 2}, {-4, 2}, {4, 0}, {4, INT_MIN}, {65536, 65536}, {INT_MAX, INT_MAX}}) {
    TBmpBuilder builder = IndexedBuilder(8, 0, TBytes(8, 1));
    builder.Width = width;
    builder.Height = height;
    EXPECT_THROW(DecodeBmp(builder.Build()), EImvoraError) << width << " x " << height;
  }
}

TEST(BmpDecodeTest, EveryShortenedUncompressedFileIsRefused) {
  const TBytes whole = TBmpBuilder{4, 2, 24, 0, {}, {}, TBytes(24, 0x80)}.Build();
  ASSERT_NO_THROW(DecodeBmp(whole));
  for (std::size_t length = 0; length < whole.size(); ++length) {
    EXPECT_THROW(DecodeBmp(TBytes(whole.begin(), whole.begin() + length)), EImvoraError) << length;
  }
}

TEST(BmpDecodeTest, RandomDamageNeverCrashes) {
  const std::vector<TBytes> originals = {
      IndexedBuilder(8, 0, TBytes(8, 1)).Build(),
      IndexedBuilder(4, 0, TBytes(8, 0x12)).Build(),
      IndexedBuilder(8, 1, {2, 1, 0, 0, 0, 3, 1, 2, 0, 0, 0, 1}).Build(),
      IndexedBuilder(4, 2, {3, 0x12, 0, 2, 1, 0, 0, 3, 0x21, 0x20, 0, 1}).Build(),
      FieldBuilder({0xf800, 0x07e0, 0x001f}).Build(),
  };
  std::mt19937 random(20240601);
  for (const TBytes& original : originals) {
    ASSERT_NO_THROW(DecodeBmp(original));
    for (int round = 0; round < 3000; ++round) {
      TBytes damaged = original;
      const int changes = 1 + static_cast<int>(random() % 4);
      for (int i = 0; i < changes; ++i) {
        const std::size_t at = random() % damaged.size();
        // Damaged sizes are tested above; here they would only make rounds of big pictures.
        if (at < 18 || at >= 26) damaged[at] = static_cast<std::uint8_t>(random());
      }
      if (round % 5 == 0) damaged.resize(random() % damaged.size());
      ASSERT_TRUE(DecodesOrFailsCleanly(damaged));
    }
  }
}

// ---- BMP writing ----

TEST(BmpWriteTest, TwentyFourBitFileIsPaddedBottomUpAndReadBack) {
  const TBitmap picture = TestPicture(5, 3);
  const TBytes bytes = EncodeBmp(picture);
  ASSERT_EQ(bytes.size(), 54u + 3 * 16);  // 15 pixel bytes padded to 16 per row
  EXPECT_EQ(U32At(bytes, 2), bytes.size());
  EXPECT_EQ(U32At(bytes, 14), 40u);
  EXPECT_EQ(bytes[28], 24);
  EXPECT_EQ(TBytes(bytes.begin() + 54, bytes.begin() + 57),
            Pixel(picture, 0, 2));  // the bottom row comes first
  EXPECT_TRUE(DecodeBmp(bytes).SamePixels(picture));
  EXPECT_THROW(EncodeBmp(TBitmap()), EImvoraError);

  if (!HaveImageMagick()) return;
  TTempDir temp;
  WriteBytes(temp / "written.bmp", bytes);
  EXPECT_EQ(Difference(DecodeWithImageMagick(temp / "written.bmp", temp), picture), "");
}

// ---- JPEG ----

double MeanError(const TBitmap& a, const TBitmap& b) {
  double sum = 0;
  for (int y = 0; y < a.Height(); ++y) {
    for (int i = 0; i < 3 * a.Width(); ++i) sum += std::abs(a.ScanLine(y)[i] - b.ScanLine(y)[i]);
  }
  return sum / (3.0 * a.Width() * a.Height());
}

bool HasMarker(const TBytes& bytes, std::uint8_t marker) {
  const std::uint8_t pair[2] = {0xff, marker};
  return std::search(bytes.begin(), bytes.end(), pair, pair + 2) != bytes.end();
}

TEST(JpegTest, RoundTripKeepsThePictureAndHonoursProgressive) {
  const TBitmap picture = TestPicture(64, 48);
  for (bool progressive : {false, true}) {
    const TBytes bytes = EncodeJpeg(picture, TJpegOptions{95, progressive});
    EXPECT_EQ(HasMarker(bytes, 0xc2), progressive);  // SOF2 starts a progressive frame
    EXPECT_EQ(HasMarker(bytes, 0xc0), !progressive);
    const TBitmap decoded = DecodeJpeg(bytes);
    ASSERT_EQ(std::make_pair(decoded.Width(), decoded.Height()), std::make_pair(64, 48));
    EXPECT_LT(MeanError(decoded, picture), 2.0);
  }
}

TEST(JpegTest, QualityIsClampedToOneToHundred) {
  const TBitmap picture = TestPicture(64, 48, 32);
  const auto encode = [&](int quality) { return EncodeJpeg(picture, TJpegOptions{quality}); };
  EXPECT_LT(encode(10).size(), encode(95).size());
  EXPECT_EQ(encode(-5), encode(1));
  EXPECT_EQ(encode(1000), encode(100));
}

TEST(JpegTest, DamagedFilesAreErrors) {
  const TBytes whole = EncodeJpeg(TestPicture(64, 48), TJpegOptions{});
  for (std::size_t length :
       {std::size_t{0}, std::size_t{2}, std::size_t{200}, whole.size() / 2, whole.size() - 2}) {
    EXPECT_THROW(DecodeJpeg(TBytes(whole.begin(), whole.begin() + length)), EImvoraError) << length;
  }
  std::mt19937 random(7);
  TBytes garbage(5000);
  for (auto& byte : garbage) byte = static_cast<std::uint8_t>(random());
  EXPECT_THROW(DecodeJpeg(garbage), EImvoraError);
  EXPECT_THROW(DecodeJpeg(EncodeBmp(TestPicture(4, 4))), EImvoraError);
}

// libjpeg warns about each file made from the sample here; only a warning of lost image data
// refuses a file, the others decode to the sample's own pixels.
TEST(JpegTest, OnlyWarningsOfLostDataRefuseAFile) {
  const TBytes sample = ReadBytes(fs::path(IMVORA_SOURCE_DIR) / "data" / "sample.jpg");
  const auto edited = [&](std::size_t at, std::size_t replaced, const TBytes& bytes) {
    TBytes result = sample;
    result.erase(result.begin() + at, result.begin() + at + replaced);
    result.insert(result.begin() + at, bytes.begin(), bytes.end());
    return result;
  };
  const TBytes adobe = {0xff, 0xee, 0, 14, 'A', 'd', 'o', 'b', 'e', 0, 100, 0, 0, 0, 0, 7};
  // Stray bytes before a marker, JFIF revision 2.01, an unknown Adobe transform code.
  for (const TBytes& harmless :
       {edited(20, 0, {0x12, 0x34}), edited(11, 2, {2, 1}), edited(20, 0, adobe)}) {
    EXPECT_EQ(Difference(DecodeJpeg(harmless), DecodeJpeg(sample)), "");
  }
  // End of image inside the scan: the rest of the picture is lost.
  EXPECT_THROW(DecodeJpeg(edited(sample.size() / 2, 2, {0xff, 0xd9})), EImvoraError);
}

TEST(JpegTest, HugeDeclaredSizeIsRefused) {
  TBytes bytes = EncodeJpeg(TestPicture(16, 16), TJpegOptions{});
  std::size_t sof = 0;
  while (!(bytes[sof] == 0xff && bytes[sof + 1] == 0xc0)) ++sof;
  for (std::size_t at : {sof + 5, sof + 7}) bytes[at] = bytes[at + 1] = 0xfe;  // 65278 x 65278
  try {
    DecodeJpeg(bytes);
    FAIL() << "decoded a picture of 4 gigapixels";
  } catch (const EImvoraError& error) {
    EXPECT_NE(std::string(error.what()).find("Слишком большое"), std::string::npos);
  }
}

TEST(JpegTest, GreyAndCmykFilesDecodeAsImageMagickDoes) {
  if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick's convert is not installed";
  TTempDir temp;
  for (const char* colourspace : {"Gray", "CMYK", "sRGB"}) {
    SCOPED_TRACE(colourspace);
    const fs::path jpeg = temp / "picture.jpg";
    const std::string command = "convert -size 48x32 gradient:orange-navy -swirl 90 -colorspace " +
                                std::string(colourspace) + " " + Quoted(jpeg);
    ASSERT_EQ(std::system(command.c_str()), 0);
    const TBitmap reference = DecodeWithImageMagick(jpeg, temp);
    const TBitmap decoded = LoadImageFile(jpeg.string());
    ASSERT_EQ(Difference(decoded, reference).rfind("size", 0), std::string::npos);
    EXPECT_LT(MeanError(decoded, reference), 1.0);
  }
}

// ---- Files ----

TEST(ImageFileTest, JpegNamesAreKnownByTheirExtension) {
  for (const char* name : {"a.jpg", "b.JPEG", "c.Jpe", "d.jfif", "dir.x/e.JPG"}) {
    EXPECT_TRUE(IsJpegFileName(name)) << name;
  }
  for (const char* name : {"a.bmp", "jpg", "b.jpg.bmp", "c.jpgx", "dir.jpg/file", ""}) {
    EXPECT_FALSE(IsJpegFileName(name)) << name;
  }
}

TEST(ImageFileTest, MissingFileIsNamedInTheError) {
  TTempDir temp;
  const std::string name = (temp / "absent.bmp").string();
  try {
    LoadImageFile(name);
    FAIL();
  } catch (const EImvoraError& error) {
    EXPECT_EQ(std::string(error.what()), "Файл не найден: " + name);
  }
}

TEST(ImageFileTest, ExtensionChoosesTheFormatBothWays) {
  TTempDir temp;
  const TBitmap picture = TestPicture(64, 48);
  WriteImageFile((temp / "p.JPG").string(), picture, TJpegOptions{95});
  WriteImageFile((temp / "p.bmp").string(), picture, TJpegOptions{});
  EXPECT_EQ(ReadBytes(temp / "p.JPG")[0], 0xff);
  EXPECT_EQ(ReadBytes(temp / "p.bmp")[0], 'B');
  EXPECT_LT(MeanError(LoadImageFile((temp / "p.JPG").string()), picture), 3.0);
  EXPECT_TRUE(LoadImageFile((temp / "p.bmp").string()).SamePixels(picture));
  fs::copy_file(temp / "p.bmp", temp / "bmp-inside.jpg");
  EXPECT_THROW(LoadImageFile((temp / "bmp-inside.jpg").string()), EImvoraError);
}

bool HasTemporaryFile(const fs::path& folder) {
  return std::any_of(fs::directory_iterator(folder), fs::directory_iterator(), [](const auto& e) {
    return e.path().filename().string().rfind(".imvora-", 0) == 0;
  });
}

TEST(ImageFileTest, WriteReplacesTheTargetAndKeepsItsPermissions) {
  TTempDir temp;
  const fs::path target = temp / "out.bmp";
  WriteBytes(target, {1, 2, 3});
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  WriteFileAtomically(target.string(), {4, 5});
  EXPECT_EQ(ReadBytes(target), (TBytes{4, 5}));
  EXPECT_EQ(fs::status(target).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_FALSE(HasTemporaryFile(temp.Path));
}

TEST(ImageFileTest, FailedWritesLeaveTheTargetAndNoTemporaryFile) {
  TTempDir temp;
  const TBytes bytes(100000, 7);
  EXPECT_THROW(WriteFileAtomically((temp / "absent" / "out.bmp").string(), bytes), EImvoraError);

  fs::create_directory(temp / "folder.bmp");
  EXPECT_THROW(WriteFileAtomically((temp / "folder.bmp").string(), bytes), EImvoraError);
  EXPECT_TRUE(fs::is_directory(temp / "folder.bmp"));

  const fs::path target = temp / "kept.bmp";
  const TBytes original = EncodeBmp(TestPicture(3, 3));
  WriteBytes(target, original);
  EXPECT_THROW(WriteImageFile(target.string(), TBitmap(), TJpegOptions{}), EImvoraError);

  // A file size limit makes the write itself fail half way, as a full disk would.
  rlimit saved;
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit limited = saved;
  limited.rlim_cur = 4096;
  const auto savedHandler = std::signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &limited);
  EXPECT_THROW(WriteFileAtomically(target.string(), bytes), EImvoraError);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, savedHandler);

  EXPECT_EQ(ReadBytes(target), original);
  EXPECT_FALSE(HasTemporaryFile(temp.Path));
}

}  // namespace
}  // namespace imvora
