#pragma once

#include <sys/types.h>

#include <new>
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

// The Russian text of a system error number: the common ones in words, any other as a
// Russian phrase followed by the system's own text.
std::string SystemErrorText(int error);
// What a file of this type is, for a refusal of anything but a regular file: "это папка" and
// the like.
std::string FileKindText(mode_t mode);

// "Недостаточно памяти" with what was being done, as every command reports running out.
std::string OutOfMemoryText(const std::string& activity);

// Runs `work`; running out of memory in it becomes an EImvoraError naming `activity`.
template <class TWork>
decltype(auto) GuardMemory(const std::string& activity, TWork&& work) {
  try {
    return work();
  } catch (const std::bad_alloc&) {
    throw EImvoraError(OutOfMemoryText(activity));
  }
}

// The text a command shows for an exception that ended it: the message of an EImvoraError,
// "Недостаточно памяти" for memory, otherwise "Неизвестная внутренняя ошибка" (with the
// exception's own text when `withDetail`).
std::string CommandErrorText(const std::exception& error, bool withDetail);

}  // namespace imvora
