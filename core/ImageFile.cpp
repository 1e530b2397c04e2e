#include "core/ImageFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "core/Error.h"

namespace imvora {
namespace {

std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

[[noreturn]] void FailReading(const std::string& name, int error) {
  if (error == ENOENT || error == ENOTDIR) throw EImvoraError("Файл не найден: " + name);
  throw EImvoraError("Не удалось прочитать файл " + name + ": " + SystemErrorText(error));
}

// Opened without blocking, so that a named pipe or a device is refused at once instead of
// waiting for a writer.
class TReadOnlyFile {
 public:
  explicit TReadOnlyFile(const std::string& name)
      : descriptor_(open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY)) {
    if (descriptor_ < 0) FailReading(name, errno);
  }
  ~TReadOnlyFile() { close(descriptor_); }
  TReadOnlyFile(const TReadOnlyFile&) = delete;
  TReadOnlyFile& operator=(const TReadOnlyFile&) = delete;

  int Descriptor() const { return descriptor_; }

 private:
  int descriptor_;
};

}  // namespace

bool IsJpegFileName(const std::string& name) {
  const std::size_t dot = name.find_last_of('.');
  const std::size_t slash = name.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && slash > dot)) return false;
  const std::string extension = LowerAscii(name.substr(dot));
  return extension == ".jpg" || extension == ".jpeg" || extension == ".jpe" || extension == ".jfif";
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& name) {
  const TReadOnlyFile file(name);
  struct stat status;
  if (fstat(file.Descriptor(), &status) != 0) FailReading(name, errno);
  if (!S_ISREG(status.st_mode)) {
    throw EImvoraError("Не удалось прочитать файл " + name + ": " + FileKindText(status.st_mode));
  }
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(status.st_size));
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t count = read(file.Descriptor(), bytes.data() + done, bytes.size() - done);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) FailReading(name, errno);
    if (count == 0) break;  // the file shrank while being read
    done += static_cast<std::size_t>(count);
  }
  bytes.resize(done);
  return bytes;
}

TBitmap LoadImageFile(const std::string& name) {
  return GuardMemory("чтение файла " + name, [&] {
    const std::vector<std::uint8_t> bytes = ReadWholeFile(name);
    return IsJpegFileName(name) ? DecodeJpeg(bytes) : DecodeBmp(bytes);
  });
}

void WriteImageFile(const std::string& name, const TBitmap& bitmap, const TJpegOptions& jpeg) {
  GuardMemory("запись файла " + name, [&] {
    // A bitmap that cannot be written leaves no trace on disk: the temporary file goes with the
    // error. A bitmap file is written as it is encoded, without a copy of the picture.
    if (IsJpegFileName(name)) {
      WriteFileAtomically(name, EncodeJpeg(bitmap, jpeg));
      return;
    }
    WriteFileAtomically(name, [&bitmap](const TByteSink& sink) { EncodeBmp(bitmap, sink); });
  });
}

}  // namespace imvora
