#pragma once

#include <stdexcept>
#include <string>

namespace imvora {

// The project's error type: every failure a user should see (a damaged file, a refused
// operation) is raised as this with a Russian message. Anything else that escapes a command
// is reported as an unknown internal error.
class EImvoraError : public std::runtime_error {
 public:
  explicit EImvoraError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace imvora
