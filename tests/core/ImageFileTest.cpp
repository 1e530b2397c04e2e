#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
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

TBytes Pixel(const TBitmap& bitmap, int x, int y) {
  const std::uint8_t* p = bitmap.ScanLine(y) + x * bitmap.BytesPerPixel();
  return {p[0], p[1], p[2]};
}

// The pixels ImageMagick decodes from a file, through a binary PPM.
TBitmap DecodeWithImageMagick(const fs::path& file, const TTempDir& temp) {
  const fs::path ppm = temp / "reference.ppm";
  fs::remove(ppm);
  const std::string command = "convert " + Quoted(file) + " -depth 8 ppm:" + Quoted(ppm);
  if (std::system((command + " 2> /dev/null").c_str()) != 0) return TBitmap();
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
    return "size " + std::to_string(actual.Width()) + "x" + std::to_string(actual.Height());
  }
  for (int y = 0; y < actual.Height(); ++y) {
    for (int x = 0; x < actual.Width(); ++x) {
      if (Pixel(actual, x, y) != Pixel(expected, x, y))
        return "pixel " + std::to_string(x) + "," + std::to_string(y);
    }
  }
  return "";
}

// A bitmap with smooth gradients and some detail.
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

// A bitmap file with a 40-byte info header, assembled by hand so that tests state exactly which
// bytes a decoder meets. Indexed files get the palette red, green, blue: entry 0 is red, so that
// pixels that fall back to it are told apart from black.
TBytes Bmp(std::int32_t width, std::int32_t height, int bits, std::uint32_t compression,
           const TBytes& pixels, std::vector<std::uint32_t> masks = {}) {
  const std::size_t paletteSize = bits <= 8 ? 3 : 0;
  const auto offset = static_cast<std::uint32_t>(54 + 4 * (masks.size() + paletteSize));
  const auto size = static_cast<std::uint32_t>(pixels.size());
  TBytes out = {'B', 'M'};
  const auto put = [&out](std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  };
  for (std::uint32_t field :
       {offset + size, 0u, offset, 40u, std::uint32_t(width), std::uint32_t(height)})
    put(field, 4);
  put(1, 2);
  put(bits, 2);
  for (std::uint32_t field : {compression, size, 0u, 0u, std::uint32_t(paletteSize), 0u})
    put(field, 4);
  if (paletteSize > 0) masks.insert(masks.end(), {0xff0000, 0x00ff00, 0x0000ff});
  for (std::uint32_t word : masks) put(word, 4);
  out.insert(out.end(), pixels.begin(), pixels.end());
  return out;
}

// The decoded picture as letters, top row first, rows apart: R, G, B, Y for red, green, blue,
// yellow; empty when the decoder refuses the file.
std::string Letters(const TBytes& file) {
  TBitmap bitmap;
  try {
    bitmap = DecodeBmp(file);
  } catch (const EImvoraError&) {
    return "";
  }
  const std::vector<std::pair<TBytes, char>> names = {
      {{0, 0, 255}, 'R'}, {{0, 255, 0}, 'G'}, {{255, 0, 0}, 'B'}, {{0, 255, 255}, 'Y'}};
  std::string letters;
  for (int y = 0; y < bitmap.Height(); ++y) {
    for (int x = 0; x < bitmap.Width(); ++x) {
      char letter = '?';
      for (const auto& [colour, name] : names)
        letter = Pixel(bitmap, x, y) == colour ? name : letter;
      letters += letter;
    }
    letters += y + 1 < bitmap.Height() ? " " : "";
  }
  return letters;
}

// ---- BMP files written by ImageMagick ----

struct TBmpVariant {
  const char* Name;
  const char* Options;  // ending in the format ImageMagick writes
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
                              variant.Options + ":" + Quoted(bmp);
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const TBytes bytes = ReadWholeFile(bmp.string());
  const bool core = variant.HeaderSize == 12;
  ASSERT_EQ(
      std::make_tuple(U32At(bytes, 14), int{bytes[core ? 24 : 28]}, core ? 0 : U32At(bytes, 30)),
      std::make_tuple(variant.HeaderSize, variant.Bits, variant.Compression))
      << "ImageMagick wrote another variant";
  const TBitmap expected = DecodeWithImageMagick(bmp, temp);
  ASSERT_FALSE(expected.Empty());
  EXPECT_EQ(Difference(DecodeBmp(bytes), expected), "");
}

INSTANTIATE_TEST_SUITE_P(
    Variants, BmpVariantTest,
    testing::Values(
        TBmpVariant{"Core24", "BMP2", false, 12, 24, 0},
        TBmpVariant{"Core1", "-type Bilevel BMP2", false, 12, 1, 0},
        TBmpVariant{"Core4", "-colors 12 -type Palette BMP2", false, 12, 4, 0},
        TBmpVariant{"Core8", "-colors 200 -type Palette BMP2", false, 12, 8, 0},
        TBmpVariant{"Info24", "BMP3", false, 40, 24, 0},
        TBmpVariant{"Info1", "-type Bilevel BMP3", false, 40, 1, 0},
        TBmpVariant{"Info4", "-colors 12 -type Palette BMP3", false, 40, 4, 0},
        TBmpVariant{"Info8", "-colors 200 -type Palette -compress None BMP3", false, 40, 8, 0},
        TBmpVariant{"InfoRle8", "-colors 200 -type Palette -compress RLE BMP3", false, 40, 8, 1},
        TBmpVariant{"Info32Alpha", "-define bmp3:alpha=true BMP3", true, 40, 32, 0},
        TBmpVariant{"V4Bilevel", "-type Bilevel BMP", false, 108, 1, 0},
        TBmpVariant{"V5Palette8", "-colors 200 -type Palette -compress None BMP", false, 124, 8, 0},
        TBmpVariant{"V5Rle8", "-colors 200 -type Palette BMP", false, 124, 8, 1},
        TBmpVariant{"V5Fields32", "BMP", true, 124, 32, 3},
        TBmpVariant{"V5Rgb565", "-define bmp:subtype=RGB565 BMP", false, 124, 16, 3},
        TBmpVariant{"V5Rgb555", "-define bmp:subtype=RGB555 BMP", false, 124, 16, 3},
        TBmpVariant{"V5Argb4444", "-define bmp:subtype=ARGB4444 BMP", true, 124, 16, 3},
        TBmpVariant{"V5Argb1555", "-define bmp:subtype=ARGB1555 BMP", true, 124, 16, 3}),
    [](const testing::TestParamInfo<TBmpVariant>& info) { return info.param.Name; });

// ---- The BMP conformance suite: good files decode as ImageMagick does, the others decode or
// are refused cleanly, and the clearly broken ones are refused ----

TEST(BmpSuiteTest, FilesDecodeAsImageMagickDoesOrAreRefused) {
  if (!fs::is_directory(kBmpSuite)) GTEST_SKIP() << "no BMP suite at " << kBmpSuite;
  const std::set<std::string> broken = {
      "badbitcount.bmp", "badheadersize.bmp", "badpalettesize.bmp", "badplanes.bmp",
      "badwidth.bmp",    "reallybig.bmp",     "shortfile.bmp"};
  // ImageMagick reads the 64-byte OS/2 header's palette from the wrong place; those files are
  // meant to look like g/pal8.bmp.
  const TBitmap pal8 = LoadImageFile((kBmpSuite / "g" / "pal8.bmp").string());
  TTempDir temp;
  for (const std::string folder : {"g", "q", "b"}) {
    std::vector<fs::path> files(fs::directory_iterator(kBmpSuite / folder), {});
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
      const std::string name = file.filename().string();
      SCOPED_TRACE(folder + "/" + name);
      TBitmap decoded;
      try {
        decoded = LoadImageFile(file.string());
      } catch (const EImvoraError&) {
        EXPECT_NE(folder, "g");
        continue;
      }
      EXPECT_EQ(broken.count(name), 0u) << "a clearly broken file was accepted";
      if (name.rfind("pal8os2v2", 0) == 0) {
        EXPECT_EQ(Difference(decoded, pal8), "");
      } else if (folder != "b" && HaveImageMagick()) {
        const TBitmap reference = DecodeWithImageMagick(file, temp);
        if (folder == "g" || !reference.Empty()) EXPECT_EQ(Difference(decoded, reference), "");
      }
    }
  }
}

// ---- Hand-made BMP files: the cases a decoder must decide ----

TEST(BmpDecodeTest, HandMadeFiles) {
  const std::pair<TBytes, const char*> cases[] = {
      // Top-down rows; index 7 lies past the 3-entry palette and shows entry 0.
      {Bmp(4, -2, 8, 0, {1, 2, 7, 0, 2, 2, 2, 2}), "GBRR BBBB"},
      // RLE8, bottom-up: a run of 6 in the 4-pixel row is clipped, end of line, 1 green pixel,
      // a delta past the image; pixels never written show entry 0.
      {Bmp(4, 2, 8, 1, {6, 2, 0, 0, 1, 1, 0, 2, 0, 5}), "GRRR BBBB"},
      // RLE4: a run of 3 alternating 1 and 2, end of line, a literal 2 1 2 padded to a word.
      {Bmp(4, 2, 4, 2, {3, 0x12, 0, 0, 0, 3, 0x21, 0x20, 0, 1}), "BGBR GBGR"},
      // RLE streams ending before the image.
      {Bmp(4, 2, 8, 1, {4, 1, 0, 0, 2}), ""},
      {Bmp(4, 2, 8, 1, {0, 9, 1, 1}), ""},
      // Bit-field masks must be contiguous and apart.
      {Bmp(1, 1, 16, 3, {0xff, 0xff, 0, 0}, {0xf800, 0x07e0, 0}), "Y"},
      {Bmp(1, 1, 16, 3, {0xff, 0xff, 0, 0}, {0xf800, 0x0fe0, 0x001f}), ""},
      {Bmp(1, 1, 16, 3, {0xff, 0xff, 0, 0}, {0xf000, 0x07e0, 0x0101}), ""},
      // Impossible sizes are refused before allocating.
      {Bmp(0, 2, 8, 0, TBytes(8, 1)), ""},
      {Bmp(-4, 2, 8, 0, TBytes(8, 1)), ""},
      {Bmp(4, 0, 8, 0, TBytes(8, 1)), ""},
      {Bmp(4, INT_MIN, 8, 0, TBytes(8, 1)), ""},
      {Bmp(65536, 65536, 8, 0, TBytes(8, 1)), ""},
      {Bmp(INT_MAX, INT_MAX, 8, 0, TBytes(8, 1)), ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Letters(c.first), c.second) << "case " << &c - cases;
}

TEST(BmpDecodeTest, EveryShortenedFileIsRefusedAndRandomDamageNeverCrashes) {
  const TBytes whole = Bmp(4, 2, 24, 0, TBytes(24, 0x80));
  ASSERT_NO_THROW(DecodeBmp(whole));
  for (std::size_t length = 0; length < whole.size(); ++length) {
    EXPECT_THROW(DecodeBmp(TBytes(whole.begin(), whole.begin() + length)), EImvoraError) << length;
  }
  std::mt19937 random(20240601);
  for (const TBytes& original : {Bmp(4, 2, 8, 0, TBytes(8, 1)), Bmp(4, 2, 4, 0, TBytes(8, 0x12)),
                                 Bmp(4, 2, 8, 1, {2, 1, 0, 0, 0, 3, 1, 2, 0, 0, 0, 1}),
                                 Bmp(4, 2, 4, 2, {3, 0x12, 0, 2, 1, 0, 0, 3, 0x21, 0x20, 0, 1}),
                                 Bmp(1, 1, 16, 3, {0xff, 0xff, 0, 0}, {0xf800, 0x07e0, 0x001f})}) {
    ASSERT_NE(Letters(original), "");
    for (int round = 0; round < 3000; ++round) {
      TBytes damaged = original;
      for (int i = random() % 4; i >= 0; --i) {
        const std::size_t at = random() % damaged.size();
        // Damaged sizes are tested above; here they would only make rounds of big pictures.
        if (at < 18 || at >= 26) damaged[at] = static_cast<std::uint8_t>(random());
      }
      if (round % 5 == 0) damaged.resize(random() % damaged.size());
      Letters(damaged);  // anything but EImvoraError escapes and fails the test
    }
  }
}

TEST(BmpWriteTest, TwentyFourBitFileIsPaddedBottomUpAndReadBack) {
  const TBitmap picture = TestPicture(5, 3);
  const TBytes bytes = EncodeBmp(picture);
  ASSERT_EQ(bytes.size(), 54u + 3 * 16);  // 15 pixel bytes padded to 16 per row
  EXPECT_EQ(std::make_tuple(U32At(bytes, 2), U32At(bytes, 14), bytes[28]),
            std::make_tuple(std::uint32_t(bytes.size()), 40u, std::uint8_t{24}));
  EXPECT_EQ(TBytes(bytes.begin() + 54, bytes.begin() + 57),
            Pixel(picture, 0, 2));  // bottom row first
  EXPECT_TRUE(DecodeBmp(bytes).SamePixels(picture));
  EXPECT_THROW(EncodeBmp(TBitmap()), EImvoraError);
  if (!HaveImageMagick()) return;
  TTempDir temp;
  WriteFileAtomically((temp / "written.bmp").string(), bytes);
  EXPECT_EQ(Difference(DecodeWithImageMagick(temp / "written.bmp", temp), picture), "");
}

// ---- JPEG ----

TBytes::const_iterator Marker(const TBytes& bytes, std::uint8_t marker) {
  const std::uint8_t pair[2] = {0xff, marker};
  return std::search(bytes.begin(), bytes.end(), pair, pair + 2);
}

double MeanError(const TBitmap& a, const TBitmap& b) {
  double sum = 0;
  for (int y = 0; y < a.Height(); ++y) {
    for (int i = 0; i < 3 * a.Width(); ++i) sum += std::abs(a.ScanLine(y)[i] - b.ScanLine(y)[i]);
  }
  return sum / (3.0 * a.Width() * a.Height());
}

TEST(JpegTest, RoundTripKeepsThePictureHonoursProgressiveAndClampsTheQuality) {
  const TBitmap picture = TestPicture(64, 48);
  for (bool progressive : {false, true}) {
    const TBytes bytes = EncodeJpeg(picture, TJpegOptions{95, progressive});
    const auto has = [&bytes](std::uint8_t marker) { return Marker(bytes, marker) != bytes.end(); };
    EXPECT_EQ(std::make_pair(has(0xc2), has(0xc0)),
              std::make_pair(progressive, !progressive));  // SOF2: progressive
    const TBitmap decoded = DecodeJpeg(bytes);
    ASSERT_EQ(std::make_pair(decoded.Width(), decoded.Height()), std::make_pair(64, 48));
    EXPECT_LT(MeanError(decoded, picture), 2.0);
  }
  const auto encode = [alpha = TestPicture(64, 48, 32)](int quality) {
    return EncodeJpeg(alpha, TJpegOptions{quality});
  };
  EXPECT_LT(encode(10).size(), encode(95).size());
  EXPECT_EQ(encode(-5), encode(1));
  EXPECT_EQ(encode(1000), encode(100));
}

TEST(JpegTest, DamagedAndHugeFilesAreErrors) {
  const TBytes whole = EncodeJpeg(TestPicture(64, 48), TJpegOptions{});
  for (std::size_t length :
       {std::size_t{0}, std::size_t{2}, std::size_t{200}, whole.size() / 2, whole.size() - 2}) {
    EXPECT_THROW(DecodeJpeg(TBytes(whole.begin(), whole.begin() + length)), EImvoraError) << length;
  }
  std::mt19937 random(7);
  TBytes garbage(5000);
  for (auto& byte : garbage) byte = static_cast<std::uint8_t>(random());
  EXPECT_THROW(DecodeJpeg(garbage), EImvoraError);
  TBytes huge = EncodeJpeg(TestPicture(16, 16), TJpegOptions{});
  const std::size_t sof = Marker(huge, 0xc0) - huge.begin();
  for (std::size_t at : {sof + 5, sof + 7}) huge[at] = huge[at + 1] = 0xfe;  // 65278 x 65278
  try {
    DecodeJpeg(huge);
    FAIL() << "decoded a picture of 4 gigapixels";
  } catch (const EImvoraError& error) {
    EXPECT_NE(std::string(error.what()).find("Слишком большое"), std::string::npos);
  }
}

// libjpeg warns about each file made from the sample here; only a warning of lost image data
// refuses a file, the others decode to the sample's own pixels.
TEST(JpegTest, OnlyWarningsOfLostDataRefuseAFile) {
  const TBytes sample = ReadWholeFile(IMVORA_SOURCE_DIR "/data/sample.jpg");
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

TEST(JpegTest, GreyAndCmykFilesDecodeAsImageMagickDoes) {
  if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick's convert is not installed";
  TTempDir temp;
  const fs::path jpeg = temp / "picture.jpg";
  for (const std::string colourspace : {"Gray", "CMYK", "sRGB"}) {
    const std::string command = "convert -size 48x32 gradient:orange-navy -swirl 90 -colorspace " +
                                colourspace + " " + Quoted(jpeg);
    ASSERT_EQ(std::system(command.c_str()), 0);
    const TBitmap reference = DecodeWithImageMagick(jpeg, temp);
    const TBitmap decoded = LoadImageFile(jpeg.string());
    ASSERT_EQ(Difference(decoded, reference).rfind("size", 0), std::string::npos) << colourspace;
    EXPECT_LT(MeanError(decoded, reference), 1.0) << colourspace;
  }
}

// ---- Files ----

TEST(ImageFileTest, TheExtensionChoosesTheFormatBothWays) {
  for (const char* name : {"a.jpg", "b.JPEG", "c.Jpe", "d.jfif", "dir.x/e.JPG"})
    EXPECT_TRUE(IsJpegFileName(name)) << name;
  for (const char* name : {"a.bmp", "jpg", "b.jpg.bmp", "c.jpgx", "dir.jpg/file", ""})
    EXPECT_FALSE(IsJpegFileName(name)) << name;
  TTempDir temp;
  const TBitmap picture = TestPicture(64, 48);
  const std::string jpeg = (temp / "p.JPG").string(), bmp = (temp / "p.bmp").string();
  WriteImageFile(jpeg, picture, TJpegOptions{95});
  WriteImageFile(bmp, picture, TJpegOptions{});
  EXPECT_EQ(ReadWholeFile(jpeg)[0], 0xff);
  EXPECT_EQ(ReadWholeFile(bmp)[0], 'B');
  EXPECT_LT(MeanError(LoadImageFile(jpeg), picture), 3.0);
  EXPECT_TRUE(LoadImageFile(bmp).SamePixels(picture));
  fs::copy_file(bmp, temp / "bmp-inside.jpg");
  EXPECT_THROW(LoadImageFile((temp / "bmp-inside.jpg").string()), EImvoraError);
}

}  // namespace
}  // namespace imvora
