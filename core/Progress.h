#pragma once

#include <cstdint>
#include <stdexcept>

namespace imvora {

// Raised from a progress report when the user asked long work to stop. Whoever started the
// work restores what it had changed; nothing reports it as an error.
class ECancelled : public std::runtime_error {
 public:
  ECancelled() : std::runtime_error("Операция отменена") {}
};

// Receives the progress of long work and may stop it.
class IProgress {
 public:
  virtual ~IProgress() = default;
  // `done` of `total` units are finished. Throws ECancelled when the work should stop.
  virtual void Report(std::int64_t done, std::int64_t total) = 0;
};

}  // namespace imvora
