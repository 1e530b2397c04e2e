#include "recognition/ContextTree.h"

#include <limits>

#include "core/TextFile.h"

namespace imvora {

ContextNode::~ContextNode() {
  std::vector<std::unique_ptr<ContextNode>> pending = std::move(Children);
  while (!pending.empty()) {
    std::unique_ptr<ContextNode> node = std::move(pending.back());
    pending.pop_back();
    for (auto& child : node->Children) pending.push_back(std::move(child));
    node->Children.clear();
  }
}

ContextNode* FindChild(const ContextNode& node, char32_t c) {
  for (const auto& child : node.Children) {
    if (child->Symbol == c) return child.get();
  }
  return nullptr;
}

ContextNode* CountChild(ContextNode& node, char32_t c) {
  ContextNode* child = FindChild(node, c);
  if (child == nullptr) return EnsureChild(node, c);
  // More lines than a 32-bit count holds cannot fit in memory; the count stops at its limit.
  if (child->Count < std::numeric_limits<std::int32_t>::max()) ++child->Count;
  return child;
}

ContextNode* EnsureChild(ContextNode& node, char32_t c) {
  if (ContextNode* child = FindChild(node, c)) return child;
  node.Children.push_back(std::make_unique<ContextNode>(c));
  return node.Children.back().get();
}

TContextTree::TContextTree(const std::vector<std::string>& dictionaryLines) {
  for (const std::string& line : dictionaryLines) AddWord(line);
}

void TContextTree::AddWord(const std::string& word) {
  ContextNode* node = &Root;
  for (char32_t c : Utf8ToCodePoints(word)) node = CountChild(*node, c);
}

}  // namespace imvora
