#include "cli/Command.h"
#include "core/AlphaRestore.h"

namespace imvora::cli {
namespace {

const char* const kUsage =
    "Использование: imvora-cli alpha ПЕРВЫЙ ВТОРОЙ ВЫХОД\n"
    "Восстанавливает изображение с альфа-каналом по двум снимкам одной картинки на\n"
    "двух однотонных фонах (например, на чёрном и на белом). Цвет фона каждого\n"
    "снимка берётся из его левой верхней точки; фоны должны различаться во всех\n"
    "трёх каналах, иначе результат полностью прозрачен. ВЫХОД — 32-битный BMP\n"
    "размером с общую часть снимков, при любом расширении имени.\n";

int RunAlpha(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg.rfind("--", 0) == 0) throw TUsageError("неизвестный параметр " + arg);
  }
  if (args.size() != 3) throw TUsageError("нужны ПЕРВЫЙ, ВТОРОЙ и ВЫХОД");
  RestoreAlphaFiles(args[0], args[1], args[2]);
  return 0;
}

const TCommandRegistrar registrar({"alpha", kUsage, &RunAlpha});

}  // namespace
}  // namespace imvora::cli
