#include "man/RoffText.h"

namespace imvora::man {
namespace {

const std::string kUsageWord = "Использование:";

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

std::size_t Indent(const std::string& line) {
  const std::size_t first = line.find_first_not_of(' ');
  return first == std::string::npos ? line.size() : first;
}

// Characters, not bytes, of UTF-8 text: what the help's column alignment counts.
std::size_t Columns(const std::string& text) {
  std::size_t columns = 0;
  for (unsigned char c : text) columns += (c & 0xC0) != 0x80;
  return columns;
}

bool IsUsage(const std::string& line) {
  return line.rfind(kUsageWord, 0) == 0;
}

// A help line "  term  description": the term at an indent of 1 to 4, two blanks after it.
bool SplitItem(const std::string& line, std::string& term, std::string& description) {
  const std::size_t indent = Indent(line);
  if (indent < 1 || indent > 4) return false;
  const std::size_t gap = line.find("  ", indent);
  if (gap == std::string::npos) return false;
  const std::size_t text = line.find_first_not_of(' ', gap);
  if (text == std::string::npos) return false;
  term = line.substr(indent, gap - indent);
  description = line.substr(text);
  return true;
}

class TRoffBuilder {
 public:
  void Add(const std::string& line) {
    const std::size_t indent = Indent(line);
    std::string term, description;
    if (indent == line.size()) {
      Enter(TBlock::None);
    } else if (IsUsage(line) || (inUsage_ && indent > 0)) {
      if (!inUsage_) Enter(TBlock::Verbatim);
      inUsage_ = true;
      Emit(line);
      return;
    } else if (indent == 0) {
      // A heading such as "Параметры:" opens a paragraph of its own.
      if (block_ != TBlock::Text || line.back() == ':') Enter(TBlock::Text);
      Emit(line);
    } else if (block_ == TBlock::Item && indent > itemIndent_ + 2) {
      Emit(line.substr(indent));
    } else if (SplitItem(line, term, description)) {
      Enter(TBlock::Item);
      roff_ += ".TP\n\\fB" + RoffEscape(term) + "\\fR\n";
      Emit(description);
      itemIndent_ = indent;
    } else {
      if (block_ != TBlock::Verbatim) Enter(TBlock::Verbatim);
      Emit(line);
    }
    inUsage_ = false;
  }
  std::string Finish() {
    Enter(TBlock::None);
    return roff_;
  }

 private:
  enum class TBlock { None, Text, Item, Verbatim };

  void Enter(TBlock block) {
    if (block_ == TBlock::Verbatim) roff_ += ".fi\n";
    if (block == TBlock::Text) roff_ += ".PP\n";
    if (block == TBlock::Verbatim) roff_ += ".PP\n.nf\n";
    block_ = block;
  }
  void Emit(const std::string& text) { roff_ += RoffEscape(text) + "\n"; }

  std::string roff_;
  TBlock block_ = TBlock::None;
  std::size_t itemIndent_ = 0;
  bool inUsage_ = false;
};

}  // namespace

std::string RoffEscape(const std::string& text) {
  std::string roff = !text.empty() && (text[0] == '.' || text[0] == '\'') ? "\\&" : "";
  for (char c : text) {
    if (c == '\\') {
      roff += "\\e";
    } else if (c == '-') {
      roff += "\\-";
    } else {
      roff += c;
    }
  }
  return roff;
}

std::string RoffFromHelp(const std::string& help) {
  std::vector<std::string> lines = SplitLines(help);
  if (!lines.empty() && !lines[0].empty() && lines[0].back() == ':') lines.erase(lines.begin());
  TRoffBuilder builder;
  for (const std::string& line : lines) builder.Add(line);
  return builder.Finish();
}

std::string RoffFromFilterList(const std::string& list) {
  const std::string separator = " — ";
  std::string roff;
  for (const std::string& line : SplitLines(list)) {
    const std::size_t dash = line.find(separator);
    if (Indent(line) > 0) {
      roff += ".br\n" + RoffEscape(line.substr(Indent(line))) + "\n";
    } else if (dash != std::string::npos) {
      roff += ".TP\n\\fB" + RoffEscape(line.substr(0, dash)) + "\\fR\n" +
              RoffEscape(line.substr(dash + separator.size())) + "\n";
    } else {
      roff += ".TP\n" + RoffEscape(line) + "\n";
    }
  }
  return roff;
}

std::vector<std::string> UsageLines(const std::string& help) {
  std::vector<std::string> usage;
  const std::size_t shift = Columns(kUsageWord) + 1;
  for (const std::string& line : SplitLines(help)) {
    if (IsUsage(line)) {
      usage.push_back(line.substr(kUsageWord.size() + 1));
    } else if (!usage.empty() && Indent(line) >= shift && Indent(line) < line.size()) {
      usage.push_back(line.substr(shift));
    } else if (!usage.empty()) {
      break;
    }
  }
  return usage;
}

}  // namespace imvora::man
