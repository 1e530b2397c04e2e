#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace imvora {

// A node of the dictionary's prefix tree: the character on the edge from its parent and the
// number of dictionary lines that pass through it.
struct ContextNode {
  ContextNode() = default;
  explicit ContextNode(char32_t symbol) : Symbol(symbol) {}
  // Frees the subtree without recursion: a line can be as long as its file.
  ~ContextNode();
  ContextNode(const ContextNode&) = delete;
  ContextNode& operator=(const ContextNode&) = delete;

  char32_t Symbol = 0;
  std::int32_t Count = 1;
  std::vector<std::unique_ptr<ContextNode>> Children;  // in order of creation
};

// The first child with that symbol, or none.
ContextNode* FindChild(const ContextNode& node, char32_t c);
// That child with its count raised by one, or a new child of count 1.
ContextNode* CountChild(ContextNode& node, char32_t c);
// That child unchanged, or a new child of count 1.
ContextNode* EnsureChild(ContextNode& node, char32_t c);

// The prefixes of the dictionary's words with the number of words beginning with each.
class TContextTree {
 public:
  TContextTree() = default;
  explicit TContextTree(const std::vector<std::string>& dictionaryLines);
  // Counts the characters (Unicode code points) of a UTF-8 word along its path.
  void AddWord(const std::string& word);

  ContextNode Root;
};

}  // namespace imvora
