#include <iostream>

#include "cli/Command.h"
#include "filters/FilterCatalog.h"

namespace imvora::cli {
namespace {

const char* const kUsage =
    "Использование: imvora-cli filters\n"
    "Перечисляет фильтры: имя для вызова, пункт меню и параметры в порядке\n"
    "вызова Имя(XYZ p1 p2 ...). X, Y, Z включают каналы 1, 2, 3 (красный, зелёный,\n"
    "синий) буквой Y, y или 1.\n";

int RunFilters(const std::vector<std::string>& args) {
  if (!args.empty()) throw TUsageError("лишние аргументы");
  PrintFilterList(std::cout);
  return 0;
}

const TCommandRegistrar registrar({"filters", kUsage, &RunFilters});

}  // namespace

void PrintFilterList(std::ostream& out) {
  THeadlessUi ui;
  TDocument document(ui);
  const std::vector<int> indices = RegisterFilters(document);
  const auto& catalog = FilterCatalog();
  for (std::size_t i = 0; i < catalog.size(); ++i) {
    if (indices[i] < 0) continue;
    out << catalog[i].ScriptName << " —";
    const char* separator = " ";
    for (const std::string& caption : catalog[i].MenuPath) {
      out << separator << caption;
      separator = " / ";
    }
    out << "\n";
    int k = 0;
    for (const TParamDescription& p : document.Filter(indices[i])->DescribeParams()) {
      out << "  p" << ++k << " " << p.Label << " " << p.Accepts << "\n";
    }
  }
}

}  // namespace imvora::cli
