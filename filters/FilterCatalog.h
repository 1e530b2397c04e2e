#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/Document.h"
#include "core/Filter.h"

namespace imvora {

// One filter of the menus: its script name, the designer name of its menu item, the captions
// of the menu path and the factory of its class.
struct TFilterEntry {
  const char* ScriptName;
  const char* MenuItem;
  std::vector<std::string> MenuPath;
  std::unique_ptr<TImvoraFilter> (*Make)();
};

// The twenty filters in registry order.
const std::vector<TFilterEntry>& FilterCatalog();

// The entry of a script name (exact case), or none.
const TFilterEntry* FindCatalogEntry(const std::string& scriptName);

// Creates one instance of every filter and registers it in catalogue order, so that every
// filter keeps its catalogue index. Returns, per catalogue entry, the registry index AddFilter gave
// it.
std::vector<int> RegisterFilters(TDocument& document);

}  // namespace imvora
