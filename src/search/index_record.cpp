#include "search/index_record.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <vector>

#include "base/text.h"
#include "search/index_names.h"

namespace qz {

namespace {

constexpr std::string_view kRecordMarker = "qzturns search index 2";

// Whether what the record says holds together (readRecord's last checks).
bool inRange(const Record& record) {
  for (const auto& [name, stamp] : record.files) {
    const std::optional<IndexFileName> parsed = parseFileName(name);
    if (!parsed || parsed->part || parsed->generation > record.generation) {
      return false;
    }
  }
  const std::optional<IndexFileName> docs = parseFileName(record.docsName);
  const uint64_t blocks = (uint64_t{record.nextTurn} + record.blockTurns - 1) / record.blockTurns;
  if (!docs || docs->kind != IndexFileKind::kDocs || record.files.count(record.docsName) == 0 ||
      record.blockGenerations.size() != blocks) {
    return false;
  }
  for (uint32_t generation : record.blockGenerations) {
    if (generation > record.generation) {
      return false;
    }
  }
  // Held as the record's own numbers, sorted: memory as large as the
  // record, whatever its next number says.
  std::vector<int64_t> numbers;
  for (const auto& [address, turn] : record.turns) {
    if (turn.number < -1 || turn.number >= int64_t{record.nextTurn}) {
      return false;  // a number no turn can have
    }
    if (turn.number >= 0) {
      numbers.push_back(turn.number);
    }
  }
  std::sort(numbers.begin(), numbers.end());
  return std::adjacent_find(numbers.begin(), numbers.end()) == numbers.end();  // one turn each
}

}  // namespace

uint64_t checksumOf(std::string_view bytes) {
  // Eight bytes a step, so that checking the index costs little beside
  // writing it.
  uint64_t hash = 1469598103934665603ull;
  size_t at = 0;
  for (; at + 8 <= bytes.size(); at += 8) {
    uint64_t word = 0;
    for (int i = 7; i >= 0; --i) {
      word = word << 8 | static_cast<unsigned char>(bytes[at + static_cast<size_t>(i)]);
    }
    hash = (hash ^ word) * 1099511628211ull;
  }
  for (; at < bytes.size(); ++at) {
    hash = (hash ^ static_cast<unsigned char>(bytes[at])) * 1099511628211ull;
  }
  return hash;
}

std::string recordText(const Record& record) {
  std::string text(kRecordMarker);
  text += "\ngeneration " + std::to_string(record.generation) + "\nblock " +
          std::to_string(record.blockTurns) + "\nnext " + std::to_string(record.nextTurn) +
          "\ndocs " + record.docsName + "\nblocks";
  for (uint32_t generation : record.blockGenerations) {
    text.append(" ").append(std::to_string(generation));
  }
  text += "\n";
  for (const auto& [name, stamp] : record.files) {
    text += "file " + name + " " + std::to_string(stamp.size) + " " +
            std::to_string(stamp.modified) + " " + std::to_string(stamp.checksum) + "\n";
  }
  for (const auto& [address, turn] : record.turns) {
    text += "turn " + std::to_string(turn.number) + " " + std::to_string(turn.size) + " " +
            std::to_string(turn.modified) + " " + address + "\t" + turn.title + "\n";
  }
  return text + "end " + std::to_string(checksumOf(text)) + "\n";
}

bool readRecord(std::string_view text, Record& record) {
  size_t endLine = text.rfind("end ");
  if (text.substr(0, kRecordMarker.size() + 1) != std::string(kRecordMarker) + "\n" ||
      endLine == std::string_view::npos ||
      text.substr(endLine) != "end " + std::to_string(checksumOf(text.substr(0, endLine))) + "\n") {
    return false;
  }
  text = text.substr(0, endLine);
  std::vector<std::string_view> lines;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  // A number that its field cannot hold is no number: none past 32 bits
  // where 32 are kept, no sign where none can be.
  auto number = [](std::string_view field, auto& value) {
    std::remove_reference_t<decltype(value)> read{};
    const char* end = field.data() + field.size();
    const auto [stop, error] = std::from_chars(field.data(), end, read);
    if (field.empty() || error != std::errc() || stop != end) {
      return false;
    }
    value = read;
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
      std::vector<std::string_view> fields;
      for (size_t at = 5; at <= line.size();) {
        const size_t end = std::min(line.find(' ', at), line.size());
        fields.push_back(line.substr(at, end - at));
        at = end + 1;
      }
      FileStamp stamp;
      if (fields.size() != 4 || !number(fields[1], stamp.size) ||
          !number(fields[2], stamp.modified) || !number(fields[3], stamp.checksum)) {
        return false;
      }
      record.files[std::string(fields[0])] = stamp;
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
  return inRange(record);
}

}  // namespace qz
