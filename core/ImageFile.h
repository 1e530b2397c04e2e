#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/Raster.h"

namespace imvora {

struct TJpegOptions {
  int Quality = 85;  // 1 ... 100
  bool Progressive = false;
};

// True for the extensions ".jpg", ".jpeg", ".jpe" and ".jfif" in any letter case.
bool IsJpegFileName(const std::string& name);

// Windows bitmap decoding of every variant a bitmap reader accepts (core and info headers,
// 1/4/8/16/24/32 bits, palettes, RLE4/RLE8, bit fields, bottom-up and top-down), into a
// 24-bit bitmap. Throws EImvoraError with a clear message on damaged or hostile data; the
// output is assigned only on success.
TBitmap DecodeBmp(const std::vector<std::uint8_t>& bytes);
// Receives the bytes of a file being written, piece by piece.
using TByteSink = std::function<void(const std::uint8_t* bytes, std::size_t count)>;
// 24-bit or 32-bit uncompressed bitmap file of the bitmap's own pixel format.
std::vector<std::uint8_t> EncodeBmp(const TBitmap& bitmap);
// The same file handed to sink in pieces of at most about a megabyte, so that writing a large
// picture needs no second copy of it. An empty bitmap is refused before the first piece.
void EncodeBmp(const TBitmap& bitmap, const TByteSink& sink);

TBitmap DecodeJpeg(const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> EncodeJpeg(const TBitmap& bitmap, const TJpegOptions& options);

std::vector<std::uint8_t> ReadWholeFile(const std::string& name);
// Writes a temporary file beside the target and renames it over the target, so that the
// target is either left as it was or replaced completely.
void WriteFileAtomically(const std::string& name, const std::vector<std::uint8_t>& bytes);
// The same with the content written by `produce` through the sink it is given.
void WriteFileAtomically(const std::string& name,
                         const std::function<void(const TByteSink& sink)>& produce);

// Reads a BMP or JPEG file (chosen by the extension) and returns it as a 24-bit bitmap.
// A missing file, or one that does not decode, is an EImvoraError.
TBitmap LoadImageFile(const std::string& name);
// Writes a bitmap file, or a JPEG file for the JPEG extensions, atomically.
void WriteImageFile(const std::string& name, const TBitmap& bitmap, const TJpegOptions& jpeg);

}  // namespace imvora
