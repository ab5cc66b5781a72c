// The turns of one character as the reader page's data holds them: one
// string a turn, "key TAB encoded key TAB mark TAB title", with the
// script's escapes undone.
#pragma once

#include <string>
#include <vector>

namespace qztest {

inline std::vector<std::string> readerTurns(const std::string& page, const std::string& number) {
  const std::string row = "[\"qz" + number + "\",\"" + number + "\",\"";
  size_t at = page.find(row);
  if (at == std::string::npos) {
    return {};
  }
  at = page.find("\",\"", at + row.size()) + 3;
  std::vector<std::string> turns(1);
  for (; at < page.size() && page.compare(at, 3, "\"],") != 0; ++at) {
    if (page[at] != '\\') {
      turns.back() += page[at];
    } else if (page[++at] == 'n') {
      turns.emplace_back();
    } else if (page[at] == 't') {
      turns.back() += '\t';
    } else if (page[at] == 'x') {
      turns.back() += static_cast<char>(std::stoi(page.substr(at + 1, 2), nullptr, 16));
      at += 2;
    } else {
      turns.back() += page[at];
    }
  }
  return turns;
}

}  // namespace qztest
