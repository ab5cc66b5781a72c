#include "search/index_record.h"

#include <algorithm>
#include <charconv>

#include "base/text.h"

namespace qz {

namespace {

constexpr std::string_view kRecordMarker = "qzturns search index 1";

uint64_t checksum(std::string_view text) {
  uint64_t hash = 1469598103934665603ull;
  for (char c : text) {
    hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  }
  return hash;
}

}  // namespace

std::string recordText(const Record& record) {
  std::string text(kRecordMarker);
  text += "\ngeneration " + std::to_string(record.generation) + "\nblock " +
          std::to_string(record.blockTurns) + "\nnext " + std::to_string(record.nextTurn) +
          "\ndocs " + record.docsName + "\nblocks";
  for (uint32_t generation : record.blockGenerations) {
    text.append(" ").append(std::to_string(generation));
  }
  text += "\n";
  for (const auto& [name, size] : record.files) {
    text += "file " + name + " " + std::to_string(size) + "\n";
  }
  for (const auto& [address, turn] : record.turns) {
    text += "turn " + std::to_string(turn.number) + " " + std::to_string(turn.size) + " " +
            std::to_string(turn.modified) + " " + address + "\t" + turn.title + "\n";
  }
  return text + "end " + std::to_string(checksum(text)) + "\n";
}

bool readRecord(std::string_view text, Record& record) {
  size_t endLine = text.rfind("end ");
  if (text.substr(0, kRecordMarker.size() + 1) != std::string(kRecordMarker) + "\n" ||
      endLine == std::string_view::npos ||
      text.substr(endLine) != "end " + std::to_string(checksum(text.substr(0, endLine))) + "\n") {
    return false;
  }
  text = text.substr(0, endLine);
  std::vector<std::string_view> lines;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  // A number too large for a long long is no number (the times of writing
  // take 19 digits).
  auto number = [](std::string_view field, auto& value) {
    long long read = 0;
    if (field.empty() || !allDigits(field.substr(field[0] == '-')) ||
        std::from_chars(field.data(), field.data() + field.size(), read).ec != std::errc()) {
      return false;
    }
    value = static_cast<std::remove_reference_t<decltype(value)>>(read);
    return true;
  };
  // A header line: its name, a space, then what follows it.
  auto header = [&](size_t line, std::string_view name, std::string_view& rest) {
    if (line >= lines.size() || !lines[line].starts_with(name)) {
      return false;
    }
    rest = lines[line].substr(name.size());
    return true;
  };
  std::string_view generation, block, next, docs, blocks;
  if (!header(1, "generation ", generation) || !number(generation, record.generation) ||
      !header(2, "block ", block) || !number(block, record.blockTurns) || record.blockTurns == 0 ||
      !header(3, "next ", next) || !number(next, record.nextTurn) || !header(4, "docs ", docs) ||
      !header(5, "blocks", blocks)) {
    return false;
  }
  record.docsName = std::string(docs);
  for (std::string_view rest = blocks; !rest.empty();) {
    size_t end = rest.find(' ', 1);
    uint32_t generation = 0;
    if (!number(rest.substr(1, end - 1), generation)) {
      return false;
    }
    record.blockGenerations.push_back(generation);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
  }
  for (size_t i = 6; i < lines.size(); ++i) {
    std::string_view line = lines[i];
    if (line.starts_with("file ")) {
      size_t space = line.rfind(' ');
      if (!number(line.substr(space + 1), record.files[std::string(line.substr(5, space - 5))])) {
        return false;
      }
      continue;
    }
    size_t tab = line.find('\t');
    std::vector<std::string_view> fields;
    for (size_t at = 5; at < tab && fields.size() < 4;) {
      size_t end = std::min(line.find(' ', at), tab);
      fields.push_back(line.substr(at, fields.size() == 3 ? tab - at : end - at));
      at = end + 1;
    }
    Record::Turn turn;
    if (!line.starts_with("turn ") || tab == std::string_view::npos || fields.size() != 4 ||
        !number(fields[0], turn.number) || !number(fields[1], turn.size) ||
        !number(fields[2], turn.modified) || turn.number >= record.nextTurn) {
      return false;
    }
    turn.title = std::string(line.substr(tab + 1));
    if (turn.title.find_first_of("<>") != std::string::npos) {
      return false;  // a title goes into the page as it stands: never markup
    }
    record.turns[std::string(fields[3])] = std::move(turn);
  }
  return true;
}

}  // namespace qz
