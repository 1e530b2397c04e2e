#include "core/Error.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace imvora {

std::string SystemErrorText(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return "файл не найден";
    case EACCES:
    case EPERM:
      return "нет доступа";
    case ENOSPC:
    case EDQUOT:
      return "на диске нет места";
    case EFBIG:
      return "файл слишком велик";
    case EROFS:
      return "файловая система доступна только для чтения";
    case EISDIR:
      return "это папка, а не файл";
    case ENAMETOOLONG:
      return "слишком длинное имя файла";
    case ELOOP:
      return "слишком много символических ссылок";
    case EIO:
      return "ошибка ввода-вывода";
    case ENOMEM:
      return "недостаточно памяти";
    default:
      return std::string("системная ошибка (") + std::strerror(error) + ")";
  }
}

std::string FileKindText(mode_t mode) {
  if (S_ISDIR(mode)) return "это папка, а не файл";
  if (S_ISFIFO(mode)) return "это именованный канал, а не обычный файл";
  if (S_ISSOCK(mode)) return "это сокет, а не обычный файл";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "это устройство, а не обычный файл";
  return "это не обычный файл";
}

std::string OutOfMemoryText(const std::string& activity) {
  return "Недостаточно памяти: " + activity;
}

std::string CommandErrorText(const std::exception& error, bool withDetail) {
  if (dynamic_cast<const EImvoraError*>(&error) != nullptr) return error.what();
  if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) return "Недостаточно памяти";
  const std::string unknown = "Неизвестная внутренняя ошибка";
  return withDetail ? unknown + " (" + error.what() + ")" : unknown;
}

}  // namespace imvora
