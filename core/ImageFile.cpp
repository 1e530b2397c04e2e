#include "core/ImageFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
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
  throw EImvoraError("Не удалось прочитать файл " + name + ": " + std::strerror(error));
}

[[noreturn]] void FailWriting(const std::string& name, int error) {
  throw EImvoraError("Не удалось записать файл " + name + ": " + std::strerror(error));
}

class TReadOnlyFile {
 public:
  explicit TReadOnlyFile(const std::string& name)
      : descriptor_(open(name.c_str(), O_RDONLY | O_CLOEXEC)) {
    if (descriptor_ < 0) FailReading(name, errno);
  }
  ~TReadOnlyFile() { close(descriptor_); }
  TReadOnlyFile(const TReadOnlyFile&) = delete;
  TReadOnlyFile& operator=(const TReadOnlyFile&) = delete;

  int Descriptor() const { return descriptor_; }

 private:
  int descriptor_;
};

// A file beside the target, removed again unless it has been renamed over the target.
class TTemporaryFile {
 public:
  explicit TTemporaryFile(const std::string& target) : target_(target) {
    std::vector<char> path(target.begin(), target.end());
    const std::string suffix = ".tmp-XXXXXX";
    path.insert(path.end(), suffix.begin(), suffix.end());
    path.push_back('\0');
    descriptor_ = mkstemp(path.data());
    if (descriptor_ < 0) FailWriting(target_, errno);
    path_ = path.data();
  }
  ~TTemporaryFile() {
    if (descriptor_ >= 0) close(descriptor_);
    if (!renamed_) unlink(path_.c_str());
  }
  TTemporaryFile(const TTemporaryFile&) = delete;
  TTemporaryFile& operator=(const TTemporaryFile&) = delete;

  void Write(const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t written = write(descriptor_, bytes.data() + done, bytes.size() - done);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) FailWriting(target_, written < 0 ? errno : ENOSPC);
      done += static_cast<std::size_t>(written);
    }
  }

  // mkstemp creates the file readable by its owner only; a replaced file keeps its own
  // permissions, a new one gets the usual rw-r--r--.
  void SetPermissions() {
    struct stat existing;
    const mode_t mode = stat(target_.c_str(), &existing) == 0 ? existing.st_mode & 07777 : 0644;
    if (fchmod(descriptor_, mode) != 0) FailWriting(target_, errno);
  }

  // The data must be on disk before the rename, or a crash could leave an empty target.
  void SyncAndClose() {
    if (fsync(descriptor_) != 0) FailWriting(target_, errno);
    const int descriptor = descriptor_;
    descriptor_ = -1;
    if (close(descriptor) != 0) FailWriting(target_, errno);
  }

  void RenameOverTarget() {
    if (std::rename(path_.c_str(), target_.c_str()) != 0) FailWriting(target_, errno);
    renamed_ = true;
  }

 private:
  std::string target_;
  std::string path_;
  int descriptor_ = -1;
  bool renamed_ = false;
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
  if (!S_ISREG(status.st_mode)) FailReading(name, S_ISDIR(status.st_mode) ? EISDIR : EINVAL);
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

void WriteFileAtomically(const std::string& name, const std::vector<std::uint8_t>& bytes) {
  TTemporaryFile file(name);
  file.Write(bytes);
  file.SetPermissions();
  file.SyncAndClose();
  file.RenameOverTarget();
}

TBitmap LoadImageFile(const std::string& name) {
  const std::vector<std::uint8_t> bytes = ReadWholeFile(name);
  return IsJpegFileName(name) ? DecodeJpeg(bytes) : DecodeBmp(bytes);
}

void WriteImageFile(const std::string& name, const TBitmap& bitmap, const TJpegOptions& jpeg) {
  // Encoding first, so that a bitmap that cannot be written leaves no trace on disk.
  const std::vector<std::uint8_t> bytes =
      IsJpegFileName(name) ? EncodeJpeg(bitmap, jpeg) : EncodeBmp(bitmap);
  WriteFileAtomically(name, bytes);
}

}  // namespace imvora
