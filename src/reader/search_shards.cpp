#include "reader/search_shards.h"

#include <algorithm>

#include "reader/search_text.h"

namespace qz {

namespace {

int digitValue(char c, bool& last) {
  size_t at = kLastDigit.find(c);
  last = at != std::string_view::npos;
  if (!last) {
    at = kMoreDigit.find(c);
  }
  return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

}  // namespace

std::string_view shardKey(std::string_view word) {
  return word.substr(0, 2);
}

void appendNumber(std::string& out, uint32_t value) {
  char digits[8];
  int count = 0;
  do {
    digits[count++] = static_cast<char>(value % 32);
    value /= 32;
  } while (value > 0);
  while (count > 1) {
    out += kMoreDigit[static_cast<unsigned char>(digits[--count])];
  }
  out += kLastDigit[static_cast<unsigned char>(digits[0])];
}

bool readNumbers(std::string_view text, std::vector<uint32_t>& numbers) {
  uint64_t value = 0;
  bool open = false;
  for (char c : text) {
    bool last = false;
    int digit = digitValue(c, last);
    if (digit < 0 || value > 0xFFFFFFFFu / 32) {
      return false;
    }
    value = value * 32 + static_cast<uint32_t>(digit);
    open = !last;
    if (last) {
      numbers.push_back(static_cast<uint32_t>(value));
      value = 0;
    }
  }
  return !open;
}

void BlockIndex::addTurn(uint32_t turn, std::string_view html) {
  scratch_.clear();
  uint32_t place = 0;
  forEachWord(html, [&](std::string_view word) {
    auto found = words_.find(word);
    if (found == words_.end()) {
      found = words_.emplace(std::string(word), Word()).first;
    }
    scratch_.emplace_back(&found->second, place++);
  });
  // Each word's places together, in rising order.
  std::stable_sort(scratch_.begin(), scratch_.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (size_t i = 0; i < scratch_.size();) {
    Word& word = *scratch_[i].first;
    size_t end = i;
    while (end < scratch_.size() && scratch_[end].first == &word) {
      ++end;
    }
    appendNumber(word.turns, static_cast<uint32_t>(turn - word.lastTurn - 1));
    word.lastTurn = turn;
    appendNumber(word.places, static_cast<uint32_t>(end - i - 1));
    uint32_t previous = 0;
    for (size_t j = i; j < end; ++j) {
      appendNumber(word.places, scratch_[j].second - (j == i ? 0 : previous + 1));
      previous = scratch_[j].second;
    }
    i = end;
  }
}

bool BlockIndex::takeShard(std::string_view turnsScript, std::string_view placesScript) {
  std::string_view turns, places;
  if (!shardText(turnsScript, turns) || !shardText(placesScript, places)) {
    return false;
  }
  std::vector<uint32_t> numbers;
  while (!turns.empty()) {
    size_t wordEnd = turns.find(' ');
    size_t listEnd = wordEnd == std::string_view::npos ? wordEnd : turns.find(' ', wordEnd + 1);
    size_t placesWordEnd = places.find(' ');
    size_t placesEnd = placesWordEnd == std::string_view::npos
                           ? placesWordEnd
                           : places.find(' ', placesWordEnd + 1);
    if (wordEnd == std::string_view::npos || placesWordEnd == std::string_view::npos ||
        turns.substr(0, wordEnd) != places.substr(0, placesWordEnd)) {
      return false;
    }
    Word& word = words_[std::string(turns.substr(0, wordEnd))];
    numbers.clear();
    word.turns = std::string(turns.substr(wordEnd + 1, listEnd - wordEnd - 1));
    word.places = std::string(places.substr(placesWordEnd + 1, placesEnd - placesWordEnd - 1));
    if (!readNumbers(word.turns, numbers) || numbers.empty()) {
      return false;
    }
    word.lastTurn = -1;
    for (uint32_t gap : numbers) {
      word.lastTurn += gap + 1;
    }
    turns.remove_prefix(listEnd == std::string_view::npos ? turns.size() : listEnd + 1);
    places.remove_prefix(placesEnd == std::string_view::npos ? places.size() : placesEnd + 1);
  }
  return places.empty();
}

std::map<std::string, BlockIndex::Shard> BlockIndex::shards(const std::string& namePrefix) const {
  std::vector<const std::pair<const std::string, Word>*> sorted;
  sorted.reserve(words_.size());
  for (const auto& entry : words_) {
    sorted.push_back(&entry);
  }
  std::sort(sorted.begin(), sorted.end(), [](auto* a, auto* b) { return a->first < b->first; });
  std::map<std::string, Shard> texts;
  for (const auto* entry : sorted) {
    Shard& shard = texts[std::string(shardKey(entry->first))];
    for (auto [text, list] : {std::pair(&shard.turns, &entry->second.turns),
                              std::pair(&shard.places, &entry->second.places)}) {
      if (!text->empty()) {
        *text += ' ';
      }
      *text += entry->first + ' ' + *list;
    }
  }
  for (auto& [key, shard] : texts) {
    shard.turns = shardScript(namePrefix + key, shard.turns);
    shard.places = shardScript(namePrefix + key + ".p", shard.places);
  }
  return texts;
}

std::string shardScript(const std::string& name, std::string_view text) {
  std::string script(kSearchFileMarker);
  script += "\nqzIndex(\"" + name + "\",\"";
  script += text;
  script += "\");\n";
  return script;
}

bool shardText(std::string_view script, std::string_view& text) {
  constexpr std::string_view kCall = "\nqzIndex(\"";
  constexpr std::string_view kEnd = "\");\n";
  if (script.substr(0, kSearchFileMarker.size()) != kSearchFileMarker) {
    return false;
  }
  script.remove_prefix(kSearchFileMarker.size());
  if (script.substr(0, kCall.size()) != kCall || script.size() < kCall.size() + kEnd.size() ||
      script.substr(script.size() - kEnd.size()) != kEnd) {
    return false;
  }
  script.remove_prefix(kCall.size());
  size_t nameEnd = script.find("\",\"");
  if (nameEnd == std::string_view::npos) {
    return false;
  }
  text = script.substr(nameEnd + 3, script.size() - nameEnd - 3 - kEnd.size());
  return text.find_first_of("\"\\<\n") == std::string_view::npos;
}

}  // namespace qz
