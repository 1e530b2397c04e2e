#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/Error.h"
#include "core/ImageFile.h"
#include "tests/core/TempFolder.h"

namespace imvora {
namespace {

namespace fs = std::filesystem;
using TBytes = std::vector<std::uint8_t>;

const fs::path kBmpSuite = fs::path(IMVORA_SOURCE_DIR) / ".." / "shared" / "testdata" / "bmpsuite";

bool HaveImageMagick() {
  static const bool have = std::system("convert -version > /dev/null 2>&1") == 0;
  return have;
}

// The pixels ImageMagick decodes from a file, through raw blue, green, red rows; empty when it
// cannot.
TBitmap DecodeWithImageMagick(const std::string& file, const testing::TTempFolder& folder) {
  int width = 0, height = 0;
  if (folder.Shell("convert '" + file + "' -depth 8 -print '%w %h' bgr:pixels") != 0 ||
      std::sscanf(folder.Text("out").c_str(), "%d %d", &width, &height) != 2) {
    return TBitmap();
  }
  const std::string pixels = folder.Text("pixels");
  if (pixels.size() != 3u * width * height) return TBitmap();
  TBitmap bitmap(width, height);
  for (int y = 0; y < height; ++y) {
    std::copy_n(pixels.begin() + 3 * width * y, 3 * width, bitmap.ScanLine(y));
  }
  return bitmap;
}

TBytes Pixel(const TBitmap& bitmap, int x, int y) {
  const std::uint8_t* p = bitmap.ScanLine(y) + x * bitmap.BytesPerPixel();
  return {p[0], p[1], p[2]};
}

// A bitmap with smooth gradients and some detail.
TBitmap TestPicture(int width, int height, int bitsPerPixel = 24) {
  TBitmap bitmap(width, height, bitsPerPixel);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = bitmap.ScanLine(y) + x * bitmap.BytesPerPixel();
      const std::uint8_t bytes[4] = {std::uint8_t(x * 255 / width), std::uint8_t(y * 255 / height),
                                     std::uint8_t((x + y) * 2), std::uint8_t(x * 30 + y)};
      std::copy_n(bytes, bitmap.BytesPerPixel(), p);
    }
  }
  return bitmap;
}

std::uint32_t U32At(const TBytes& bytes, std::size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | std::uint32_t{bytes[at + 3]} << 24;
}

// ---- BMP files written by ImageMagick, which also decodes them for comparison ----

TEST(BmpDecodeTest, VariantsWrittenByImageMagickDecodeAsItDoes) {
  if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick's convert is not installed";
  const std::string alpha = "\\( +clone -fx i/w \\) -compose copy_opacity -composite ";
  // Format, options, then the header size, bits and compression the file has: each kind of
  // header, each pixel size and each compression once.
  const std::tuple<const char*, std::string, std::uint32_t, int, std::uint32_t> variants[] = {
      {"BMP2", "-colors 200 -type Palette", 12, 8, 0},
      {"BMP3", "", 40, 24, 0},
      {"BMP3", "-colors 12 -type Palette", 40, 4, 0},
      {"BMP3", "-colors 200 -type Palette -compress RLE", 40, 8, 1},
      {"BMP3", alpha + "-define bmp3:alpha=true", 40, 32, 0},
      {"BMP", "-type Bilevel", 108, 1, 0},
      {"BMP", "-colors 200 -type Palette -compress None", 124, 8, 0},
      {"BMP", alpha, 124, 32, 3},
      {"BMP", "-define bmp:subtype=RGB565", 124, 16, 3},
      {"BMP", alpha + "-define bmp:subtype=ARGB4444", 124, 16, 3},
      {"BMP", alpha + "-define bmp:subtype=ARGB1555", 124, 16, 3},
  };
  testing::TTempFolder folder;
  for (const auto& [format, options, headerSize, bits, compression] : variants) {
    SCOPED_TRACE(format + (" " + options));
    ASSERT_EQ(folder.Shell(std::string("convert -size 40x13 gradient:orange-navy -swirl 90 ") +
                           options + " " + format + ":variant.bmp"),
              0);
    const TBytes bytes = ReadWholeFile(folder.Path("variant.bmp"));
    const bool core = headerSize == 12;
    ASSERT_EQ(
        std::make_tuple(U32At(bytes, 14), int{bytes[core ? 24 : 28]}, core ? 0 : U32At(bytes, 30)),
        std::make_tuple(headerSize, bits, compression))
        << "ImageMagick wrote another variant";
    const TBitmap expected = DecodeWithImageMagick(folder.Path("variant.bmp"), folder);
    ASSERT_FALSE(expected.Empty());
    EXPECT_TRUE(DecodeBmp(bytes).SamePixels(expected));
  }
}

// The conformance suite: good files decode as ImageMagick does, the others decode or are
// refused cleanly, and the clearly broken ones are refused.
TEST(BmpDecodeTest, SuiteFilesDecodeAsImageMagickDoesOrAreRefused) {
  if (!fs::is_directory(kBmpSuite)) GTEST_SKIP() << "no BMP suite at " << kBmpSuite;
  const std::set<std::string> broken = {
      "badbitcount.bmp", "badheadersize.bmp", "badpalettesize.bmp", "badplanes.bmp",
      "badwidth.bmp",    "reallybig.bmp",     "shortfile.bmp"};
  // ImageMagick reads the 64-byte OS/2 header's palette from the wrong place; those files are
  // meant to look like g/pal8.bmp.
  const TBitmap pal8 = LoadImageFile((kBmpSuite / "g" / "pal8.bmp").string());
  testing::TTempFolder temp;
  for (const std::string suite : {"g", "q", "b"}) {
    for (const auto& entry : fs::directory_iterator(kBmpSuite / suite)) {
      const std::string name = entry.path().filename().string(), file = entry.path().string();
      SCOPED_TRACE(suite + "/" + name);
      TBitmap decoded;
      try {
        decoded = LoadImageFile(file);
      } catch (const EImvoraError&) {
        EXPECT_NE(suite, "g");
        continue;
      }
      EXPECT_EQ(broken.count(name), 0u) << "a clearly broken file was accepted";
      if (name.rfind("pal8os2v2", 0) == 0) {
        EXPECT_TRUE(decoded.SamePixels(pal8));
      } else if (suite != "b" && HaveImageMagick()) {
        const TBitmap reference = DecodeWithImageMagick(file, temp);
        EXPECT_TRUE(decoded.SamePixels(reference) || (suite == "q" && reference.Empty()));
      }
    }
  }
}

// ---- Hand-made BMP files: the cases a decoder must decide ----

// A bitmap file with a 40-byte info header, assembled by hand so that tests state exactly which
// bytes a decoder meets. Indexed files get the palette red, green, blue: entry 0 is red, so that
// pixels that fall back to it are told apart from black.
TBytes Bmp(std::int32_t width, std::int32_t height, int bits, std::uint32_t compression,
           const TBytes& pixels, std::vector<std::uint32_t> masks = {}) {
  if (bits <= 8) masks.insert(masks.end(), {0xff0000, 0x00ff00, 0x0000ff});
  const auto offset = static_cast<std::uint32_t>(54 + 4 * masks.size());
  const auto size = static_cast<std::uint32_t>(pixels.size());
  TBytes out = {'B', 'M'};
  for (std::uint32_t field :
       {offset + size, 0u, offset, 40u, std::uint32_t(width), std::uint32_t(height),
        1u | bits << 16, compression, size, 0u, 0u, bits <= 8 ? 3u : 0u, 0u}) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(field >> (8 * i)));
  }
  for (std::uint32_t word : masks) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(word >> (8 * i)));
  }
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
  const std::map<TBytes, char> names = {
      {{0, 0, 255}, 'R'}, {{0, 255, 0}, 'G'}, {{255, 0, 0}, 'B'}, {{0, 255, 255}, 'Y'}};
  std::string letters;
  for (int y = 0; y < bitmap.Height(); ++y) {
    letters += y > 0 ? " " : "";
    for (int x = 0; x < bitmap.Width(); ++x) {
      const auto name = names.find(Pixel(bitmap, x, y));
      letters += name == names.end() ? '?' : name->second;
    }
  }
  return letters;
}

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

// The ordinary run has no fuzzer: random damage here too, where anything but EImvoraError
// escapes and fails the test.
TEST(BmpDecodeTest, EveryShortenedFileIsRefusedAndRandomDamageNeverCrashes) {
  std::mt19937 random(20240601);
  for (const TBytes& original :
       {Bmp(4, 2, 24, 0, TBytes(24, 0x80)), Bmp(4, 2, 8, 0, TBytes(8, 1)),
        Bmp(4, 2, 4, 0, TBytes(8, 0x12)), Bmp(4, 2, 8, 1, {2, 1, 0, 0, 0, 3, 1, 2, 0, 0, 0, 1}),
        Bmp(4, 2, 4, 2, {3, 0x12, 0, 2, 1, 0, 0, 3, 0x21, 0x20, 0, 1}),
        Bmp(1, 1, 16, 3, {0xff, 0xff, 0, 0}, {0xf800, 0x07e0, 0x001f})}) {
    ASSERT_NE(Letters(original), "");
    for (std::size_t length = 0; length < original.size(); ++length) {
      EXPECT_EQ(Letters(TBytes(original.begin(), original.begin() + length)), "") << length;
    }
    for (int round = 0; round < 3000; ++round) {
      TBytes damaged = original;
      for (int i = random() % 4; i >= 0; --i) {
        const std::size_t at = random() % damaged.size();
        // Damaged sizes are tested above; here they would only make rounds of big pictures.
        if (at < 18 || at >= 26) damaged[at] = static_cast<std::uint8_t>(random());
      }
      if (round % 5 == 0) damaged.resize(random() % damaged.size());
      Letters(damaged);
    }
  }
}

TEST(BmpWriteTest, TwentyFourBitFileIsPaddedBottomUpAndReadBack) {
  const TBitmap picture = TestPicture(5, 3);
  const TBytes bytes = EncodeBmp(picture);
  ASSERT_EQ(bytes.size(), 54u + 3 * 16);  // 15 pixel bytes padded to 16 per row
  EXPECT_EQ(std::make_tuple(U32At(bytes, 2), U32At(bytes, 14), bytes[28]),
            std::make_tuple(std::uint32_t(bytes.size()), 40u, std::uint8_t{24}));
  EXPECT_EQ(TBytes(bytes.begin() + 54, bytes.begin() + 57), Pixel(picture, 0, 2));  // bottom row
  EXPECT_TRUE(DecodeBmp(bytes).SamePixels(picture));
  EXPECT_THROW(EncodeBmp(TBitmap()), EImvoraError);
  if (!HaveImageMagick()) return;
  testing::TTempFolder folder;
  WriteFileAtomically(folder.Path("written.bmp"), bytes);
  EXPECT_TRUE(DecodeWithImageMagick(folder.Path("written.bmp"), folder).SamePixels(picture));
}

// ---- JPEG ----

TBytes::const_iterator Marker(const TBytes& bytes, std::uint8_t marker) {
  const std::uint8_t pair[2] = {0xff, marker};
  return std::search(bytes.begin(), bytes.end(), pair, pair + 2);
}

double MeanError(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return 1e9;
  double sum = 0;
  for (int y = 0; y < a.Height(); ++y) {
    for (int i = 0; i < 3 * a.Width(); ++i) sum += std::abs(a.ScanLine(y)[i] - b.ScanLine(y)[i]);
  }
  return sum / (3.0 * a.Width() * a.Height());
}

TEST(JpegTest, RoundTripKeepsThePictureAndHonoursProgressiveAndQuality) {
  const TBitmap picture = TestPicture(64, 48);
  for (bool progressive : {false, true}) {
    const TBytes bytes = EncodeJpeg(picture, TJpegOptions{95, progressive});
    // SOF2 starts a progressive frame, SOF0 a baseline one.
    EXPECT_EQ(Marker(bytes, 0xc2) != bytes.end(), progressive);
    EXPECT_EQ(Marker(bytes, 0xc0) != bytes.end(), !progressive);
    EXPECT_LT(MeanError(DecodeJpeg(bytes), picture), 2.0);
  }
  // A 32-bit picture is encoded from its colour bytes; a lower quality makes a smaller file.
  const TBitmap alpha = TestPicture(64, 48, 32);
  EXPECT_LT(EncodeJpeg(alpha, TJpegOptions{10}).size(), EncodeJpeg(alpha, TJpegOptions{95}).size());
}

TEST(JpegTest, DamagedAndHugeFilesAreErrors) {
  const TBytes whole = EncodeJpeg(TestPicture(64, 48), TJpegOptions{});
  for (std::size_t length :
       {std::size_t{0}, std::size_t{2}, std::size_t{200}, whole.size() / 2, whole.size() - 2}) {
    EXPECT_THROW(DecodeJpeg(TBytes(whole.begin(), whole.begin() + length)), EImvoraError) << length;
  }
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
    EXPECT_TRUE(DecodeJpeg(harmless).SamePixels(DecodeJpeg(sample)));
  }
  // End of image inside the scan: the rest of the picture is lost.
  EXPECT_THROW(DecodeJpeg(edited(sample.size() / 2, 2, {0xff, 0xd9})), EImvoraError);
}

TEST(JpegTest, GreyAndCmykFilesDecodeAsImageMagickDoes) {
  if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick's convert is not installed";
  testing::TTempFolder folder;
  for (const std::string colourspace : {"Gray", "CMYK", "sRGB"}) {
    ASSERT_EQ(folder.Shell("convert -size 48x32 gradient:orange-navy -swirl 90 -colorspace " +
                           colourspace + " p.jpg"),
              0);
    EXPECT_LT(MeanError(LoadImageFile(folder.Path("p.jpg")),
                        DecodeWithImageMagick(folder.Path("p.jpg"), folder)),
              1.0)
        << colourspace;
  }
}

// ---- Files ----

// Files are written and read in the format their extension names.
TEST(ImageFileTest, TheExtensionChoosesTheFormat) {
  for (const char* name : {"a.jpg", "b.JPEG", "c.Jpe", "d.jfif", "dir.x/e.JPG"}) {
    EXPECT_TRUE(IsJpegFileName(name)) << name;
  }
  for (const char* name : {"a.bmp", "jpg", "b.jpg.bmp", "c.jpgx", "dir.jpg/file", ""}) {
    EXPECT_FALSE(IsJpegFileName(name)) << name;
  }
}

}  // namespace
}  // namespace imvora
