// Atomic replacement of a file: the new content goes to a temporary file in the target's
// folder, which is renamed over the target only when complete. Where the file system allows
// it the temporary file has no name until it is complete (O_TMPFILE), so that even a killed
// process leaves nothing behind; otherwise, and in the short moment between naming and
// renaming, SIGINT and SIGTERM remove it before the process ends.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/Error.h"
#include "core/ImageFile.h"

namespace imvora {
namespace {

[[noreturn]] void FailWriting(const std::string& name, int error) {
  // Writing, a missing name can only be the folder's.
  const std::string reason =
      error == ENOENT || error == ENOTDIR ? "папка не найдена" : SystemErrorText(error);
  throw EImvoraError("Не удалось записать файл " + name + ": " + reason);
}

// ---- Removal of named temporary files when the process is told to stop ----

struct TCleanupSlot {
  std::atomic<bool> Used{false};
  char Path[PATH_MAX];
};

constexpr int kStopSignals[] = {SIGINT, SIGTERM};
constexpr int kStopSignalCount = sizeof kStopSignals / sizeof kStopSignals[0];

TCleanupSlot g_slots[8];
std::mutex g_handlerMutex;
int g_activeWrites = 0;
struct sigaction g_savedActions[kStopSignalCount];

extern "C" void RemoveTemporariesAndStop(int signal) {
  for (TCleanupSlot& slot : g_slots) {
    if (slot.Used.load(std::memory_order_acquire)) unlink(slot.Path);
  }
  // The signal's previous meaning (normally: end the process) takes over once this returns.
  for (int i = 0; i < kStopSignalCount; ++i) {
    if (kStopSignals[i] == signal) sigaction(signal, &g_savedActions[i], nullptr);
  }
  raise(signal);
}

// Keeps the handler installed while any write is under way; a signal the process ignores
// stays ignored.
class TCleanupOnStop {
 public:
  TCleanupOnStop() {
    const std::lock_guard<std::mutex> lock(g_handlerMutex);
    if (g_activeWrites++ > 0) return;
    struct sigaction action {};
    action.sa_handler = RemoveTemporariesAndStop;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < kStopSignalCount; ++i) {
      sigaction(kStopSignals[i], nullptr, &g_savedActions[i]);
      if (g_savedActions[i].sa_handler != SIG_IGN) sigaction(kStopSignals[i], &action, nullptr);
    }
  }
  ~TCleanupOnStop() {
    const std::lock_guard<std::mutex> lock(g_handlerMutex);
    if (--g_activeWrites > 0) return;
    for (int i = 0; i < kStopSignalCount; ++i) {
      sigaction(kStopSignals[i], &g_savedActions[i], nullptr);
    }
  }
  TCleanupOnStop(const TCleanupOnStop&) = delete;
  TCleanupOnStop& operator=(const TCleanupOnStop&) = delete;
};

// A temporary name known to the stop handler for as long as the object lives. With every slot
// taken (many writes at once) the name simply goes unregistered.
class TRegisteredName {
 public:
  explicit TRegisteredName(const std::string& path) {
    static std::mutex claimMutex;
    const std::lock_guard<std::mutex> lock(claimMutex);
    if (path.size() >= PATH_MAX) return;
    for (TCleanupSlot& slot : g_slots) {
      if (slot.Used.load(std::memory_order_relaxed)) continue;
      // The path is complete before the handler may see the slot in use.
      std::memcpy(slot.Path, path.c_str(), path.size() + 1);
      slot.Used.store(true, std::memory_order_release);
      slot_ = &slot;
      return;
    }
  }
  ~TRegisteredName() {
    if (slot_ != nullptr) slot_->Used.store(false, std::memory_order_release);
  }
  TRegisteredName(const TRegisteredName&) = delete;
  TRegisteredName& operator=(const TRegisteredName&) = delete;

 private:
  TCleanupSlot* slot_ = nullptr;
};

// ---- Names ----

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The file a name finally stands for: symbolic links are followed, so that the file they point
// to is replaced and the links stay as they are. A name that does not exist is returned as is.
std::string FollowLinks(const std::string& name) {
  std::string path = name;
  for (int hop = 0; hop < 40; ++hop) {
    struct stat status;
    if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return path;
    char target[PATH_MAX];
    const ssize_t length = readlink(path.c_str(), target, sizeof target);
    if (length < 0) FailWriting(name, errno);
    if (static_cast<std::size_t>(length) >= sizeof target) FailWriting(name, ENAMETOOLONG);
    const std::string link(target, static_cast<std::size_t>(length));
    path = link[0] == '/' ? link : FolderOf(path) + "/" + link;
  }
  FailWriting(name, ELOOP);
}

// A short name that fits beside any target, however long the target's own name.
std::string TemporaryNameIn(const std::string& folder) {
  static std::atomic<unsigned> counter{0};
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  unsigned long long mix = static_cast<unsigned long long>(now) * 6364136223846793005ull +
                           static_cast<unsigned long long>(getpid()) * 1442695040888963407ull +
                           counter.fetch_add(1);
  std::string name = folder + "/.imvora-";
  for (int i = 0; i < 8; ++i, mix /= 36) name += "0123456789abcdefghijklmnopqrstuvwxyz"[mix % 36];
  return name;
}

// ---- The temporary file ----

class TTemporaryFile {
 public:
  TTemporaryFile(const std::string& folder, const std::string& target)
      : folder_(folder), target_(target) {
    descriptor_ = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (descriptor_ >= 0) return;
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) FailWriting(target_, errno);
    CreateNamed();
  }
  ~TTemporaryFile() {
    if (descriptor_ >= 0) close(descriptor_);
    if (!path_.empty()) unlink(path_.c_str());
  }
  TTemporaryFile(const TTemporaryFile&) = delete;
  TTemporaryFile& operator=(const TTemporaryFile&) = delete;

  void Write(const std::uint8_t* bytes, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
      const ssize_t written = write(descriptor_, bytes + done, count - done);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) FailWriting(target_, written < 0 ? errno : ENOSPC);
      done += static_cast<std::size_t>(written);
    }
  }

  // A replaced file keeps its owner and permissions; a new one gets the usual rw-r--r--.
  void TakeOverAttributes(const struct stat* existing) {
    if (existing == nullptr) {
      if (fchmod(descriptor_, 0644) != 0) FailWriting(target_, errno);
      return;
    }
    if (existing->st_uid != geteuid() || existing->st_gid != getegid()) {
      // Only the superuser may give a file away; anyone else writes it as their own.
      (void)!fchown(descriptor_, existing->st_uid, existing->st_gid);
    }
    if (fchmod(descriptor_, existing->st_mode & 07777) != 0) FailWriting(target_, errno);
  }

  // The data must be on disk before the rename, or a crash could leave an empty target.
  void Sync() {
    if (fsync(descriptor_) != 0) FailWriting(target_, errno);
  }

  void RenameOver(const std::string& target) {
    if (path_.empty()) GiveName();
    const int descriptor = descriptor_;
    descriptor_ = -1;
    if (close(descriptor) != 0) FailWriting(target_, errno);
    if (std::rename(path_.c_str(), target.c_str()) != 0) FailWriting(target_, errno);
    path_.clear();
    name_.reset();
  }

 private:
  void CreateNamed() {
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::string path = TemporaryNameIn(folder_);
      name_ = std::make_unique<TRegisteredName>(path);
      descriptor_ = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
      if (descriptor_ >= 0) {
        path_ = path;
        return;
      }
      if (errno != EEXIST) FailWriting(target_, errno);
    }
    FailWriting(target_, EEXIST);
  }

  // Links the finished nameless file into the folder under a fresh temporary name.
  void GiveName() {
    const std::string self = "/proc/self/fd/" + std::to_string(descriptor_);
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::string path = TemporaryNameIn(folder_);
      name_ = std::make_unique<TRegisteredName>(path);
      if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
          (errno == ENOENT &&
           linkat(descriptor_, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0)) {
        path_ = path;
        return;
      }
      if (errno != EEXIST) FailWriting(target_, errno);
    }
    FailWriting(target_, EEXIST);
  }

  std::string folder_;
  std::string target_;  // the name the user gave, for messages
  std::string path_;    // the temporary file's name once it has one
  std::unique_ptr<TRegisteredName> name_;
  int descriptor_ = -1;
};

}  // namespace

void WriteFileAtomically(const std::string& name,
                         const std::function<void(const TByteSink& sink)>& produce) {
  const std::string target = FollowLinks(name);
  struct stat existing;
  const bool exists = stat(target.c_str(), &existing) == 0;
  if (!exists && errno != ENOENT) FailWriting(name, errno);
  // Renaming over a device, a pipe or a folder would replace it: refused before writing.
  if (exists && !S_ISREG(existing.st_mode)) {
    throw EImvoraError("Не удалось записать файл " + name + ": " + FileKindText(existing.st_mode));
  }
  const TCleanupOnStop cleanup;
  TTemporaryFile file(FolderOf(target), name);
  produce([&file](const std::uint8_t* bytes, std::size_t count) { file.Write(bytes, count); });
  file.TakeOverAttributes(exists ? &existing : nullptr);
  file.Sync();
  file.RenameOver(target);
}

void WriteFileAtomically(const std::string& name, const std::vector<std::uint8_t>& bytes) {
  WriteFileAtomically(name, [&bytes](const TByteSink& sink) { sink(bytes.data(), bytes.size()); });
}

}  // namespace imvora
