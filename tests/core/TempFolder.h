#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace imvora::testing {

// A fresh folder under the system's temporary one, removed with all it holds. Commands run in
// it send their output to its file "out" and their errors to "err".
class TTempFolder {
 public:
  TTempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "imvora-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("no temporary folder");
    Dir = pattern;
  }
  ~TTempFolder() { std::filesystem::remove_all(Dir); }
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;

  std::string Path(const std::string& name) const { return (Dir / name).string(); }
  // The whole file, or "-" when there is none.
  std::string Text(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "-";
  }
  void Write(const std::string& name, const std::string& text) const {
    std::ofstream(Path(name), std::ios::binary) << text;
  }
  // Exit status of the shell command, or -1 when it did not exit.
  int Shell(const std::string& command) const {
    const std::string line = "cd '" + Dir.string() + "' && " + command + " >out 2>err";
    const int status = std::system(line.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  int Cli(const std::string& arguments) const {
    return Shell(std::string(IMVORA_CLI_PATH) + " " + arguments);
  }

  std::filesystem::path Dir;
};

// While it lives, a write past `bytes` fails half way, as on a full disk.
class TFullDisk {
 public:
  explicit TFullDisk(rlim_t bytes) : handler_(std::signal(SIGXFSZ, SIG_IGN)) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    const rlimit limited = {bytes, saved_.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~TFullDisk() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, handler_);
  }
  TFullDisk(const TFullDisk&) = delete;
  TFullDisk& operator=(const TFullDisk&) = delete;

 private:
  void (*handler_)(int);
  rlimit saved_;
};

}  // namespace imvora::testing
