// Windows bitmap files: decoding of every common variant into a 24-bit bitmap, and writing of
// uncompressed 24-bit and 32-bit files.
//
// Choices for damaged or unusual files, made to show the same pixels as ImageMagick:
// - A palette index past the end of the palette gives the colour of palette entry 0.
// - Pixels an RLE stream never writes (skipped by a delta or an early end of line or bitmap)
//   get the colour of palette entry 0 as well, where Windows would leave them black.
// - An RLE run or literal that goes past the end of a row is clipped at the row end, and
//   anything addressed below the last row is ignored; a stream that ends before the end-of-
//   bitmap code and before the last row is finished is a truncated file and an error.
// - Pixel data shorter than the header promises is an error; the file size field is ignored,
//   since many writers fill it in wrongly.
// - Bit-field masks must each be one contiguous run of bits and must not overlap; a zero mask
//   gives a channel of zero.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/Error.h"
#include "core/ImageFile.h"

namespace imvora {
namespace {

constexpr std::int64_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;
// Header sizes in use: OS/2 1.x core header, the short and the full OS/2 2.x headers, and the
// Windows info header with its V2, V3, V4 and V5 successors.
constexpr std::array<std::uint32_t, 8> kKnownHeaderSizes = {12, 16, 40, 52, 56, 64, 108, 124};

enum ECompression : std::uint32_t {
  kBiRgb = 0,
  kBiRle8 = 1,
  kBiRle4 = 2,
  kBiBitFields = 3,
  kBiJpeg = 4,
  kBiPng = 5,
  kBiAlphaBitFields = 6,
};

[[noreturn]] void FailDamaged(const std::string& reason) {
  throw EImvoraError("Файл повреждён или не является рисунком BMP: " + reason);
}

[[noreturn]] void FailUnsupported(const std::string& what) {
  throw EImvoraError("Неподдерживаемый вид рисунка BMP: " + what);
}

// Little-endian reads that never leave the file's bytes.
class TByteReader {
 public:
  explicit TByteReader(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}

  std::int64_t Size() const { return static_cast<std::int64_t>(bytes_.size()); }
  bool Has(std::int64_t at, std::int64_t count) const {
    return at >= 0 && count >= 0 && at <= Size() && count <= Size() - at;
  }
  const std::uint8_t* At(std::int64_t at, std::int64_t count) const {
    if (!Has(at, count)) FailDamaged("файл обрывается раньше времени");
    return bytes_.data() + at;
  }
  std::uint8_t U8(std::int64_t at) const { return *At(at, 1); }
  std::uint16_t U16(std::int64_t at) const {
    const std::uint8_t* p = At(at, 2);
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
  }
  std::uint32_t U32(std::int64_t at) const {
    const std::uint8_t* p = At(at, 4);
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
  }

 private:
  const std::vector<std::uint8_t>& bytes_;
};

struct TColor {
  std::uint8_t Blue = 0, Green = 0, Red = 0;
};

// Always 256 entries, so that any index of up to 8 bits is safe to look up.
using TPalette = std::array<TColor, 256>;

struct TBmpHeader {
  std::uint32_t HeaderSize = 0;
  std::int64_t Width = 0;
  std::int64_t Height = 0;  // always positive; TopDown tells the row order
  bool TopDown = false;
  int BitCount = 0;
  std::uint32_t Compression = kBiRgb;
  std::uint32_t ColorsUsed = 0;
  std::array<std::uint32_t, 3> Masks = {0, 0, 0};  // red, green, blue
  std::int64_t PaletteStart = 0;  // after the headers and any separate bit-field masks
  std::int64_t PixelOffset = 0;
};

std::string Text(std::int64_t value) {
  return std::to_string(value);
}

// The OS/2 2.x headers may be cut short after any field; the missing fields count as zero.
std::uint32_t InfoField32(const TByteReader& reader, std::uint32_t headerSize, int offset) {
  if (static_cast<std::uint32_t>(offset) + 4 > headerSize) return 0;
  return reader.U32(kFileHeaderSize + offset);
}

void ReadCoreHeader(const TByteReader& reader, TBmpHeader& header) {
  header.Width = reader.U16(kFileHeaderSize + 4);
  header.Height = reader.U16(kFileHeaderSize + 6);
  if (reader.U16(kFileHeaderSize + 8) != 1) FailDamaged("число плоскостей не равно 1");
  header.BitCount = reader.U16(kFileHeaderSize + 10);
  header.PaletteStart = kFileHeaderSize + kCoreHeaderSize;
}

void ReadInfoHeader(const TByteReader& reader, TBmpHeader& header) {
  const std::uint32_t size = header.HeaderSize;
  header.Width = static_cast<std::int32_t>(InfoField32(reader, size, 4));
  const std::int64_t height = static_cast<std::int32_t>(InfoField32(reader, size, 8));
  header.TopDown = height < 0;
  header.Height = height < 0 ? -height : height;
  if (reader.U16(kFileHeaderSize + 12) != 1) FailDamaged("число плоскостей не равно 1");
  header.BitCount = reader.U16(kFileHeaderSize + 14);
  header.Compression = InfoField32(reader, size, 16);
  header.ColorsUsed = InfoField32(reader, size, 32);
  header.PaletteStart = kFileHeaderSize + size;

  const bool bitFields =
      header.Compression == kBiBitFields || header.Compression == kBiAlphaBitFields;
  if (!bitFields) return;
  if (size >= 52) {
    for (int i = 0; i < 3; ++i) header.Masks[i] = InfoField32(reader, size, 40 + 4 * i);
  } else {
    // A plain info header is followed by the masks: three, or four with the alpha mask.
    for (int i = 0; i < 3; ++i) header.Masks[i] = reader.U32(header.PaletteStart + 4 * i);
    header.PaletteStart += header.Compression == kBiAlphaBitFields ? 16 : 12;
  }
}

void CheckBitCountAndCompression(const TBmpHeader& header) {
  const int bits = header.BitCount;
  switch (header.Compression) {
    case kBiRgb:
      if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16 && bits != 24 &&
          bits != 32) {
        FailUnsupported(Text(bits) + " бит на точку");
      }
      return;
    case kBiRle8:
      if (bits != 8) FailDamaged("сжатие RLE8 при " + Text(bits) + " битах на точку");
      return;
    case kBiRle4:
      if (bits != 4) FailDamaged("сжатие RLE4 при " + Text(bits) + " битах на точку");
      return;
    case kBiBitFields:
    case kBiAlphaBitFields:
      if (bits != 16 && bits != 32) {
        FailDamaged("битовые маски при " + Text(bits) + " битах на точку");
      }
      return;
    case kBiJpeg:
      FailUnsupported("вложенный JPEG");
    case kBiPng:
      FailUnsupported("вложенный PNG");
    default:
      FailUnsupported("сжатие " + Text(header.Compression));
  }
}

bool IsContiguous(std::uint32_t mask) {
  if (mask == 0) return true;
  const std::uint32_t lowestBitAligned = mask / (mask & (~mask + 1));
  return (lowestBitAligned & (lowestBitAligned + 1)) == 0;
}

void CheckMasks(const TBmpHeader& header) {
  const auto& masks = header.Masks;
  for (std::uint32_t mask : masks) {
    if (!IsContiguous(mask)) FailDamaged("битовая маска цвета не сплошная");
  }
  if ((masks[0] & masks[1]) != 0 || (masks[0] & masks[2]) != 0 || (masks[1] & masks[2]) != 0) {
    FailDamaged("битовые маски цветов перекрываются");
  }
}

TBmpHeader ReadHeader(const TByteReader& reader) {
  if (!reader.Has(0, kFileHeaderSize + 4)) FailDamaged("файл слишком короткий");
  if (reader.U8(0) != 'B' || reader.U8(1) != 'M') FailDamaged("нет подписи BM");
  TBmpHeader header;
  header.PixelOffset = reader.U32(10);
  header.HeaderSize = reader.U32(kFileHeaderSize);
  const auto& known = kKnownHeaderSizes;
  if (std::find(known.begin(), known.end(), header.HeaderSize) == known.end()) {
    FailUnsupported("заголовок длиной " + Text(header.HeaderSize) + " байт");
  }
  if (!reader.Has(kFileHeaderSize, header.HeaderSize)) FailDamaged("заголовок обрезан");
  if (header.HeaderSize == kCoreHeaderSize) {
    ReadCoreHeader(reader, header);
  } else {
    ReadInfoHeader(reader, header);
  }

  if (header.Width <= 0 || header.Height <= 0) {
    FailDamaged("размер " + Text(header.Width) + " x " + Text(header.Height));
  }
  if (header.Width * header.Height > kMaxPixels) {
    throw EImvoraError("Слишком большое изображение: " + Text(header.Width) + " x " +
                       Text(header.Height) + " точек");
  }
  // OS/2 2.x gives the codes 3 and 4 to its own Huffman and RLE24 encodings.
  if (header.HeaderSize == 64 &&
      (header.Compression == kBiBitFields || header.Compression == kBiJpeg)) {
    FailUnsupported("сжатие OS/2 " + Text(header.Compression));
  }
  CheckBitCountAndCompression(header);
  CheckMasks(header);
  if (header.PixelOffset < header.PaletteStart) {
    FailDamaged("данные точек начинаются внутри заголовка, со смещения " +
                Text(header.PixelOffset));
  }
  if (header.PixelOffset > reader.Size()) {
    FailDamaged("смещение данных точек " + Text(header.PixelOffset) + " за концом файла");
  }
  return header;
}

TPalette ReadPalette(const TByteReader& reader, const TBmpHeader& header) {
  TPalette palette{};
  const std::int64_t fullSize = std::int64_t{1} << header.BitCount;
  if (header.ColorsUsed > fullSize) {
    FailDamaged("в палитре " + Text(header.ColorsUsed) + " цветов при " + Text(header.BitCount) +
                " битах на точку");
  }
  const std::int64_t entrySize = header.HeaderSize == kCoreHeaderSize ? 3 : 4;
  const std::int64_t declared = header.ColorsUsed != 0 ? header.ColorsUsed : fullSize;
  // Some writers shorten the palette without saying so; the pixel offset tells where it ends.
  const std::int64_t room = (header.PixelOffset - header.PaletteStart) / entrySize;
  const std::int64_t count = std::min(declared, room);
  if (count <= 0) FailDamaged("нет палитры");
  const std::uint8_t* entry = reader.At(header.PaletteStart, count * entrySize);
  for (std::int64_t i = 0; i < count; ++i, entry += entrySize) {
    palette[i] = TColor{entry[0], entry[1], entry[2]};
  }
  std::fill(palette.begin() + count, palette.end(), palette[0]);
  return palette;
}

void PutPixel(TBitmap& bitmap, int x, int y, TColor color) {
  std::uint8_t* pixel = bitmap.ScanLine(y) + x * 3;
  pixel[0] = color.Blue;
  pixel[1] = color.Green;
  pixel[2] = color.Red;
}

int BitmapRow(const TBmpHeader& header, std::int64_t fileRow) {
  return static_cast<int>(header.TopDown ? fileRow : header.Height - 1 - fileRow);
}

// One colour channel of a bit-field pixel, widened to 8 bits exactly as ImageMagick does it, so
// that both show the same pixels: the field is moved to the top of a 16-bit sample, in 16-bit
// pixels its high bits are repeated into the free low bits for fields of up to 8 bits (a 6-bit
// field only for green, the 5-6-5 layout), in 32-bit pixels only for 8-bit fields, and the
// sample is divided by 257 without rounding.
class TChannelField {
 public:
  TChannelField(std::uint32_t mask, int bitsPerPixel, bool green)
      : mask_(mask), bitsPerPixel_(bitsPerPixel), green_(green) {
    if (mask == 0) return;
    while (((mask << shift_) & 0x80000000u) == 0) ++shift_;
    while (shift_ + width_ < 32 && ((mask << (shift_ + width_)) & 0x80000000u) != 0) ++width_;
  }

  std::uint8_t Extract(std::uint32_t pixel) const {
    std::uint32_t sample = ((pixel & mask_) << shift_) >> 16;
    if (bitsPerPixel_ == 16) {
      if (width_ == 5) sample |= (sample & 0xe000) >> 5;
      if (width_ == 6 && green_) sample |= (sample & 0xc000) >> 6;
      if (width_ <= 8) sample |= (sample & 0xff00) >> 8;
    } else if (width_ == 8) {
      sample |= sample >> 8;
    }
    return static_cast<std::uint8_t>(sample / 257);
  }

 private:
  std::uint32_t mask_;
  int bitsPerPixel_;
  bool green_;
  int shift_ = 0;
  int width_ = 0;
};

std::array<std::uint32_t, 3> FieldMasks(const TBmpHeader& header) {
  if (header.Compression != kBiRgb) return header.Masks;
  if (header.BitCount == 16) return {0x7c00, 0x03e0, 0x001f};
  return {0x00ff0000, 0x0000ff00, 0x000000ff};
}

void DecodeIndexedRow(const std::uint8_t* row, const TPalette& palette, int bits, int width,
                      TBitmap& bitmap, int y) {
  const int indexMask = (1 << bits) - 1;
  for (int x = 0; x < width; ++x) {
    const std::int64_t bitOffset = std::int64_t{x} * bits;
    const int shift = 8 - bits - static_cast<int>(bitOffset % 8);
    PutPixel(bitmap, x, y, palette[(row[bitOffset / 8] >> shift) & indexMask]);
  }
}

void DecodeFieldRow(const std::uint8_t* row, const std::array<TChannelField, 3>& fields, int bits,
                    int width, TBitmap& bitmap, int y) {
  const int bytesPerPixel = bits / 8;
  for (int x = 0; x < width; ++x, row += bytesPerPixel) {
    std::uint32_t pixel = row[0] | row[1] << 8;
    if (bytesPerPixel == 4) pixel |= std::uint32_t{row[2]} << 16 | std::uint32_t{row[3]} << 24;
    PutPixel(bitmap, x, y,
             TColor{fields[2].Extract(pixel), fields[1].Extract(pixel), fields[0].Extract(pixel)});
  }
}

void DecodeRgbRow(const std::uint8_t* row, int width, TBitmap& bitmap, int y) {
  for (int x = 0; x < width; ++x, row += 3) PutPixel(bitmap, x, y, TColor{row[0], row[1], row[2]});
}

std::int64_t RowBytes(const TBmpHeader& header) {
  return (header.Width * header.BitCount + 31) / 32 * 4;
}

// Checked before the bitmap is made, so that a short file declaring a huge picture costs
// nothing.
void CheckUncompressedRows(const TByteReader& reader, const TBmpHeader& header) {
  if (!reader.Has(header.PixelOffset, RowBytes(header) * header.Height)) {
    FailDamaged("данные точек обрезаны");
  }
}

void DecodeUncompressed(const TByteReader& reader, const TBmpHeader& header,
                        const TPalette& palette, TBitmap& bitmap) {
  const int bits = header.BitCount;
  const int width = static_cast<int>(header.Width);
  const std::int64_t rowBytes = RowBytes(header);
  const auto masks = FieldMasks(header);
  const std::array<TChannelField, 3> fields = {TChannelField(masks[0], bits, false),
                                               TChannelField(masks[1], bits, true),
                                               TChannelField(masks[2], bits, false)};
  for (std::int64_t fileRow = 0; fileRow < header.Height; ++fileRow) {
    const std::uint8_t* row = reader.At(header.PixelOffset + fileRow * rowBytes, rowBytes);
    const int y = BitmapRow(header, fileRow);
    if (bits <= 8) {
      DecodeIndexedRow(row, palette, bits, width, bitmap, y);
    } else if (bits == 24) {
      DecodeRgbRow(row, width, bitmap, y);
    } else {
      DecodeFieldRow(row, fields, bits, width, bitmap, y);
    }
  }
}

// Run-length decoding of RLE8 and RLE4 (pairs of a count and a value; a zero count starts an
// escape: 0 end of line, 1 end of bitmap, 2 a delta move, 3..255 a literal run). Without a
// bitmap the stream is only checked: a few bytes may rightly describe a large picture, but a
// stream that breaks off is refused before the picture is made.
class TRleDecoder {
 public:
  TRleDecoder(const TByteReader& reader, const TBmpHeader& header, const TPalette& palette,
              TBitmap* bitmap)
      : reader_(reader),
        header_(header),
        palette_(palette),
        bitmap_(bitmap),
        fourBit_(header.Compression == kBiRle4),
        position_(header.PixelOffset) {}

  void Decode() {
    FillWithFirstPaletteColour();
    while (row_ < header_.Height) {
      if (!reader_.Has(position_, 2)) FailDamaged("поток RLE обрывается");
      const int count = reader_.U8(position_);
      const int value = reader_.U8(position_ + 1);
      position_ += 2;
      if (count > 0) {
        PutRun(count, value);
      } else if (value == 0) {
        column_ = 0;
        ++row_;
      } else if (value == 1) {
        return;
      } else if (value == 2) {
        column_ += reader_.U8(position_);
        row_ += reader_.U8(position_ + 1);
        position_ += 2;
      } else {
        PutLiteral(value);
      }
    }
  }

 private:
  void Put(int index) {
    if (bitmap_ != nullptr && column_ < header_.Width) {
      PutPixel(*bitmap_, static_cast<int>(column_), BitmapRow(header_, row_), palette_[index]);
    }
    ++column_;
  }

  void PutRun(int count, int value) {
    if (bitmap_ == nullptr) {
      column_ += count;
      return;
    }
    for (int i = 0; i < count; ++i) Put(fourBit_ ? Nibble(value, i) : value);
  }

  void PutLiteral(int count) {
    const std::int64_t bytes = fourBit_ ? (count + 1) / 2 : count;
    const std::uint8_t* data = reader_.At(position_, bytes);
    for (int i = 0; i < count; ++i) Put(fourBit_ ? Nibble(data[i / 2], i) : data[i]);
    position_ += (bytes + 1) / 2 * 2;  // literal runs are padded to 16 bits
  }

  // One row by pixels, the others as copies of it: a few bytes of stream may describe a
  // picture of hundreds of megabytes.
  void FillWithFirstPaletteColour() {
    if (bitmap_ == nullptr) return;
    for (int x = 0; x < bitmap_->Width(); ++x) PutPixel(*bitmap_, x, 0, palette_[0]);
    const std::size_t rowBytes = std::size_t{3} * bitmap_->Width();
    for (int y = 1; y < bitmap_->Height(); ++y) {
      std::memcpy(bitmap_->ScanLine(y), bitmap_->ScanLine(0), rowBytes);
    }
  }

  static int Nibble(int value, int index) { return index % 2 == 0 ? value >> 4 : value & 0x0f; }

  const TByteReader& reader_;
  const TBmpHeader& header_;
  const TPalette& palette_;
  TBitmap* bitmap_;
  const bool fourBit_;
  std::int64_t position_;
  std::int64_t column_ = 0;
  std::int64_t row_ = 0;  // counted in file order
};

void WriteU16(std::vector<std::uint8_t>& out, std::uint32_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void WriteU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  WriteU16(out, value & 0xffff);
  WriteU16(out, value >> 16);
}

}  // namespace

TBitmap DecodeBmp(const std::vector<std::uint8_t>& bytes) {
  const TByteReader reader(bytes);
  const TBmpHeader header = ReadHeader(reader);
  TPalette palette{};
  if (header.BitCount <= 8) palette = ReadPalette(reader, header);
  const bool rle = header.Compression == kBiRle8 || header.Compression == kBiRle4;
  if (rle) {
    TRleDecoder(reader, header, palette, nullptr).Decode();
  } else {
    CheckUncompressedRows(reader, header);
  }
  TBitmap bitmap(static_cast<int>(header.Width), static_cast<int>(header.Height), 24);
  if (rle) {
    TRleDecoder(reader, header, palette, &bitmap).Decode();
  } else {
    DecodeUncompressed(reader, header, palette, bitmap);
  }
  return bitmap;
}

void EncodeBmp(const TBitmap& bitmap, const TByteSink& sink) {
  if (bitmap.Empty()) throw EImvoraError("Нельзя сохранить пустое изображение");
  const int bytesPerPixel = bitmap.BytesPerPixel();
  const std::int64_t pixelBytes = std::int64_t{bitmap.Width()} * bytesPerPixel;
  const std::int64_t rowBytes = (pixelBytes + 3) / 4 * 4;
  const std::int64_t imageBytes = rowBytes * bitmap.Height();
  const std::int64_t headersSize = kFileHeaderSize + kInfoHeaderSize;
  constexpr std::uint32_t kPixelsPerMetreAt72Dpi = 2835;
  constexpr std::size_t kPieceBytes = 1 << 20;

  std::vector<std::uint8_t> out;
  out.reserve(static_cast<std::size_t>(std::max<std::int64_t>(kPieceBytes, rowBytes)));
  out.push_back('B');
  out.push_back('M');
  WriteU32(out, static_cast<std::uint32_t>(headersSize + imageBytes));
  WriteU32(out, 0);
  WriteU32(out, static_cast<std::uint32_t>(headersSize));
  WriteU32(out, kInfoHeaderSize);
  WriteU32(out, static_cast<std::uint32_t>(bitmap.Width()));
  WriteU32(out, static_cast<std::uint32_t>(bitmap.Height()));  // positive: rows bottom-up
  WriteU16(out, 1);
  WriteU16(out, static_cast<std::uint32_t>(bitmap.BitsPerPixel()));
  WriteU32(out, kBiRgb);
  WriteU32(out, static_cast<std::uint32_t>(imageBytes));
  WriteU32(out, kPixelsPerMetreAt72Dpi);
  WriteU32(out, kPixelsPerMetreAt72Dpi);
  WriteU32(out, 0);
  WriteU32(out, 0);
  for (int y = bitmap.Height() - 1; y >= 0; --y) {
    if (out.size() + rowBytes > out.capacity()) {
      sink(out.data(), out.size());
      out.clear();
    }
    const std::uint8_t* row = bitmap.ScanLine(y);
    out.insert(out.end(), row, row + pixelBytes);
    out.insert(out.end(), static_cast<std::size_t>(rowBytes - pixelBytes), 0);
  }
  sink(out.data(), out.size());
}

std::vector<std::uint8_t> EncodeBmp(const TBitmap& bitmap) {
  std::vector<std::uint8_t> file;
  EncodeBmp(bitmap, [&file](const std::uint8_t* bytes, std::size_t count) {
    file.insert(file.end(), bytes, bytes + count);
  });
  return file;
}

}  // namespace imvora
