// JPEG files through libjpeg. libjpeg reports errors through a callback that must not return;
// ours jumps back with longjmp to the function that started the work. That function keeps
// only trivially destructible objects between setjmp and the jump, so that no C++ destructor
// is skipped, and turns the failure into an EImvoraError.

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

// jpeglib.h uses FILE and size_t without including their headers.
#include <jpeglib.h>
// After jpeglib.h: the message codes.
#include <jerror.h>

// The message codes; after jpeglib.h, which it needs.
#include <jerror.h>

#include "core/Error.h"
#include "core/ImageFile.h"

namespace imvora {
namespace {

struct TJpegErrorManager {
  jpeg_error_mgr Base;  // first, so that libjpeg's pointer to it also points to the whole
  std::jmp_buf Jump;
  char Message[JMSG_LENGTH_MAX];
};

[[noreturn]] void JumpWithMessage(j_common_ptr info) {
  auto* manager = reinterpret_cast<TJpegErrorManager*>(info->err);
  manager->Base.format_message(info, manager->Message);
  std::longjmp(manager->Jump, 1);
}

// The warnings (level -1) after which libjpeg goes on with part of the picture lost: a file
// cut short or a scan broken off is filled with grey, a bad entropy code or a missed restart
// marker skips data. Such a picture is not what the file held, so these stop the work as
// errors do. Other warnings (stray bytes between segments, an unknown JFIF revision or Adobe
// transform code) leave the picture whole and are ignored, like trace messages (levels 0 up).
bool LosesImageData(int messageCode) {
  switch (messageCode) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_MUST_RESYNC:
      return true;
    default:
      return false;
  }
}

void JumpOnWarning(j_common_ptr info, int level) {
  if (level < 0 && LosesImageData(info->err->msg_code)) JumpWithMessage(info);
}

void InstallErrorManager(TJpegErrorManager& manager) {
  jpeg_std_error(&manager.Base);
  manager.Base.error_exit = JumpWithMessage;
  manager.Base.emit_message = JumpOnWarning;
  manager.Message[0] = '\0';
}

std::string SizeText(std::int64_t width, std::int64_t height) {
  return std::to_string(width) + " x " + std::to_string(height) + " точек";
}

// Huffman coding spends at least one bit on every 8 x 8 block of the fully sampled component
// (its DC difference), so n bytes hold at most 8n such blocks. Checked before anything is
// allocated for the picture, so that a few bytes cannot claim hundreds of megabytes.
// Arithmetic coding has no such floor: like a run-length bitmap, a small file of that kind may
// rightly describe a large picture, so its rows are given room only as they are decoded.
void CheckDeclaredSize(const jpeg_decompress_struct& info, std::size_t fileSize) {
  const std::int64_t width = info.image_width;
  const std::int64_t height = info.image_height;
  if (width * height > kMaxPixels) {
    throw EImvoraError("Слишком большое изображение: " + SizeText(width, height));
  }
  const std::int64_t blocks = ((width + 7) / 8) * ((height + 7) / 8);
  if (!info.arith_code && blocks > 8 * static_cast<std::int64_t>(fileSize)) {
    throw EImvoraError("Повреждённый файл JPEG: " + std::to_string(fileSize) +
                       " байт не вмещают изображение " + SizeText(width, height));
  }
}

std::uint8_t Scale255(int a, int b) {
  return static_cast<std::uint8_t>((a * b + 127) / 255);
}

void CopyRow(const JSAMPLE* source, J_COLOR_SPACE space, bool invertedCmyk, int width,
             std::uint8_t* target) {
  for (int x = 0; x < width; ++x, target += 3) {
    if (space == JCS_GRAYSCALE) {
      target[0] = target[1] = target[2] = source[x];
    } else if (space == JCS_RGB) {
      target[0] = source[3 * x + 2];
      target[1] = source[3 * x + 1];
      target[2] = source[3 * x];
    } else {
      // Adobe's files store CMYK inverted, so there each sample is already 255 minus the ink.
      int cmyk[4];
      for (int i = 0; i < 4; ++i) {
        cmyk[i] = invertedCmyk ? source[4 * x + i] : 255 - source[4 * x + i];
      }
      target[0] = Scale255(cmyk[2], cmyk[3]);
      target[1] = Scale255(cmyk[1], cmyk[3]);
      target[2] = Scale255(cmyk[0], cmyk[3]);
    }
  }
}

J_COLOR_SPACE OutputSpaceFor(J_COLOR_SPACE fileSpace) {
  switch (fileSpace) {
    case JCS_GRAYSCALE:
      return JCS_GRAYSCALE;
    case JCS_CMYK:
    case JCS_YCCK:  // libjpeg turns YCCK into CMYK but not into RGB
      return JCS_CMYK;
    default:
      return JCS_RGB;
  }
}

// Room for `rows` rows, keeping those decoded; a failure ends the decoding.
void GrowRows(jpeg_decompress_struct& info, TBitmap& bitmap, int width, int rows) {
  try {
    bitmap.SetSize(width, rows);
  } catch (...) {
    jpeg_destroy_decompress(&info);
    throw;
  }
}

// Returns false, with the reason in errors.Message, when libjpeg failed.
bool Decompress(const std::vector<std::uint8_t>& bytes, TBitmap& bitmap,
                TJpegErrorManager& errors) {
  jpeg_decompress_struct info;
  info.err = &errors.Base;
  if (setjmp(errors.Jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&info, TRUE);
  try {
    CheckDeclaredSize(info, bytes.size());
  } catch (...) {
    jpeg_destroy_decompress(&info);
    throw;
  }
  info.out_color_space = OutputSpaceFor(info.jpeg_color_space);
  jpeg_start_decompress(&info);
  const int width = static_cast<int>(info.output_width);
  const int height = static_cast<int>(info.output_height);
  GrowRows(info, bitmap, width, info.arith_code ? std::min(height, 64) : height);
  JSAMPARRAY row = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                             info.output_width * info.output_components, 1);
  while (info.output_scanline < info.output_height) {
    const int y = static_cast<int>(info.output_scanline);
    if (y == bitmap.Height()) GrowRows(info, bitmap, width, std::min(height, 2 * y));
    jpeg_read_scanlines(&info, row, 1);
    CopyRow(row[0], info.out_color_space, info.saw_Adobe_marker, bitmap.Width(),
            bitmap.ScanLine(y));
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

void CopyRowAsRgb(const TBitmap& bitmap, int y, JSAMPLE* target) {
  const std::uint8_t* source = bitmap.ScanLine(y);
  const int step = bitmap.BytesPerPixel();
  for (int x = 0; x < bitmap.Width(); ++x, source += step, target += 3) {
    target[0] = source[2];
    target[1] = source[1];
    target[2] = source[0];
  }
}

// Returns false, with the reason in errors.Message, when libjpeg failed. The caller frees
// *buffer in either case.
bool Compress(const TBitmap& bitmap, const TJpegOptions& options, TJpegErrorManager& errors,
              unsigned char** buffer, unsigned long* size) {
  jpeg_compress_struct info;
  info.err = &errors.Base;
  if (setjmp(errors.Jump)) {
    jpeg_destroy_compress(&info);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, buffer, size);
  info.image_width = static_cast<JDIMENSION>(bitmap.Width());
  info.image_height = static_cast<JDIMENSION>(bitmap.Height());
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, std::clamp(options.Quality, 1, 100), TRUE);
  if (options.Progressive) jpeg_simple_progression(&info);
  jpeg_start_compress(&info, TRUE);
  JSAMPARRAY row = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                             info.image_width * 3, 1);
  while (info.next_scanline < info.image_height) {
    CopyRowAsRgb(bitmap, static_cast<int>(info.next_scanline), row[0]);
    jpeg_write_scanlines(&info, row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return true;
}

// libjpeg's own texts are English: the common ones are said in Russian, any other follows a
// Russian phrase.
std::string DecodeFailureText(const TJpegErrorManager& errors,
                              const std::vector<std::uint8_t>& bytes) {
  switch (errors.Base.msg_code) {
    case JERR_NO_SOI:
    case JERR_INPUT_EMPTY:
      if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') {
        return "Файл не является рисунком JPEG: это рисунок BMP";
      }
      return bytes.empty() ? "Файл не является рисунком JPEG: файл пуст"
                           : "Файл не является рисунком JPEG";
    case JERR_INPUT_EOF:
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
      return "Файл JPEG обрывается раньше времени";
    case JERR_OUT_OF_MEMORY:
      return OutOfMemoryText("чтение файла JPEG");
    default:
      return std::string("Повреждённый файл JPEG (") + errors.Message + ")";
  }
}

}  // namespace

TBitmap DecodeJpeg(const std::vector<std::uint8_t>& bytes) {
  TJpegErrorManager errors;
  InstallErrorManager(errors);
  TBitmap bitmap;
  if (!Decompress(bytes, bitmap, errors)) throw EImvoraError(DecodeFailureText(errors, bytes));
  return bitmap;
}

std::vector<std::uint8_t> EncodeJpeg(const TBitmap& bitmap, const TJpegOptions& options) {
  if (bitmap.Empty()) throw EImvoraError("Нельзя сохранить пустое изображение");
  TJpegErrorManager errors;
  InstallErrorManager(errors);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  const bool compressed = Compress(bitmap, options, errors, &buffer, &size);
  const std::unique_ptr<unsigned char, void (*)(void*)> owner(buffer, std::free);
  if (!compressed) throw EImvoraError(std::string("Не удалось сжать JPEG: ") + errors.Message);
  return std::vector<std::uint8_t>(buffer, buffer + size);
}

}  // namespace imvora
