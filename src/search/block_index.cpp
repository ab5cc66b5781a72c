#include "search/block_index.h"

#include <algorithm>

#include "search/index_names.h"
#include "search/search_text.h"

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

uint32_t placeBucket(std::string_view word) {
  uint32_t hash = 2166136261u;
  for (char c : word) {
    hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  }
  return hash % kPlaceBuckets;
}

void appendNumber(std::string& out, uint32_t value) {
  if (value < 32) {
    out += kLastDigit[value];
    return;
  }
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

BlockIndex::Word& BlockIndex::wordOf(std::string_view text) {
  if ((words_.size() + 1) * 2 > slotWords_.size()) {
    const size_t size = std::max<size_t>(1024, slotWords_.size() * 2);
    slotHashes_.assign(size, 0);
    slotWords_.assign(size, 0);
    for (uint32_t w = 0; w < words_.size(); ++w) {
      const uint64_t hash = std::hash<std::string_view>{}(words_[w].text);
      size_t slot = hash & (size - 1);
      while (slotWords_[slot] != 0) {
        slot = (slot + 1) & (size - 1);
      }
      slotHashes_[slot] = hash;
      slotWords_[slot] = w + 1;
    }
  }
  const uint64_t hash = std::hash<std::string_view>{}(text);
  const size_t mask = slotWords_.size() - 1;
  size_t slot = hash & mask;
  for (; slotWords_[slot] != 0; slot = (slot + 1) & mask) {
    if (slotHashes_[slot] == hash && words_[slotWords_[slot] - 1].text == text) {
      return words_[slotWords_[slot] - 1];
    }
  }
  slotHashes_[slot] = hash;
  slotWords_[slot] = static_cast<uint32_t>(words_.size() + 1);
  words_.emplace_back().text = text;
  return words_.back();
}

void BlockIndex::addTurn(uint32_t turn, std::string_view html) {
  uint32_t place = 0;
  forEachWord(html, [&](std::string_view text) {
    Word& word = wordOf(text);
    if (word.lastTurn != turn) {
      appendNumber(word.turns, static_cast<uint32_t>(turn - word.lastTurn - 1));
      word.lastTurn = turn;
      word.pending.clear();
      inTurn_.push_back(static_cast<uint32_t>(&word - words_.data()));
    }
    word.pending.push_back(place++);
  });
  for (uint32_t w : inTurn_) {
    Word& word = words_[w];
    appendNumber(word.places, static_cast<uint32_t>(word.pending.size() - 1));
    uint32_t next = 0;  // the first place is as it is, the rest gaps
    for (uint32_t at : word.pending) {
      appendNumber(word.places, at - next);
      next = at + 1;
    }
    if (word.pending.capacity() > 64) {
      word.pending = std::vector<uint32_t>();  // a common word's list is not kept in every word
    }
  }
  inTurn_.clear();
}

void BlockIndex::append(BlockIndex&& later) {
  std::vector<uint32_t> first;
  for (Word& word : later.words_) {
    const size_t count = words_.size();
    Word& into = wordOf(word.text);
    if (words_.size() > count) {
      into = std::move(word);
      continue;
    }
    // The later half's first gap counts from its own start: it becomes a
    // gap from this half's last turn.
    first.clear();
    size_t end = word.turns.find_first_of(kLastDigit) + 1;
    readNumbers(std::string_view(word.turns).substr(0, end), first);
    appendNumber(into.turns, static_cast<uint32_t>(first[0] - into.lastTurn - 1));
    into.turns.append(word.turns, end);
    into.places += word.places;
    into.lastTurn = word.lastTurn;
  }
  later = BlockIndex();
}

bool BlockIndex::takeScript(std::string_view script, bool placeScript) {
  std::string_view text;
  if (!shardText(script, text)) {
    return false;
  }
  std::vector<uint32_t> numbers;
  while (!text.empty()) {
    const size_t wordEnd = text.find(' ');
    if (wordEnd == std::string_view::npos) {
      return false;
    }
    const size_t listEnd = std::min(text.find(' ', wordEnd + 1), text.size());
    Word& word = wordOf(text.substr(0, wordEnd));
    std::string& list = placeScript ? word.places : word.turns;
    list = std::string(text.substr(wordEnd + 1, listEnd - wordEnd - 1));
    numbers.clear();
    if (!readNumbers(list, numbers) || numbers.empty()) {
      return false;
    }
    if (!placeScript) {
      word.lastTurn = -1;
      for (uint32_t gap : numbers) {
        word.lastTurn += gap + 1;
      }
    }
    text.remove_prefix(std::min(listEnd + 1, text.size()));
  }
  return true;
}

bool BlockIndex::whole() const {
  return std::all_of(words_.begin(), words_.end(),
                     [](const Word& word) { return !word.turns.empty() && !word.places.empty(); });
}

void BlockIndex::eachScript(uint32_t block, uint32_t generation,
                            void (*sink)(void*, const std::string&, const std::string&),
                            void* context) {
  std::vector<Word*> sorted;
  sorted.reserve(words_.size());
  for (Word& word : words_) {
    sorted.push_back(&word);
  }
  std::sort(sorted.begin(), sorted.end(), [](Word* a, Word* b) { return a->text < b->text; });
  // Each bucket's text is sized first: grown by doubling, the places of a
  // large block would take up to twice their bytes.
  std::vector<std::string> places(kPlaceBuckets);
  std::vector<size_t> bucketSizes(kPlaceBuckets);
  for (const Word* word : sorted) {
    bucketSizes[placeBucket(word->text)] += word->text.size() + word->places.size() + 2;
  }
  for (uint32_t bucket = 0; bucket < kPlaceBuckets; ++bucket) {
    places[bucket].reserve(bucketSizes[bucket]);
  }
  std::string turns;
  auto add = [](std::string& text, const std::string& word, std::string& list) {
    if (!text.empty()) {
      text += ' ';
    }
    text += word;
    text += ' ';
    text += list;
    list = std::string();
  };
  for (size_t i = 0; i < sorted.size();) {
    const std::string key(shardKey(sorted[i]->text));
    turns.clear();
    for (; i < sorted.size() && shardKey(sorted[i]->text) == key; ++i) {
      Word& word = *sorted[i];
      add(turns, word.text, word.turns);
      add(places[placeBucket(word.text)], word.text, word.places);
    }
    const IndexFileName name = turnsFile(block, generation, key);
    sink(context, fileName(name), shardScript(scriptName(name), turns));
  }
  for (uint32_t bucket = 0; bucket < kPlaceBuckets; ++bucket) {
    if (!places[bucket].empty()) {
      const IndexFileName name = placesFile(block, generation, bucket);
      sink(context, fileName(name), shardScript(scriptName(name), places[bucket]));
      places[bucket] = std::string();
    }
  }
  *this = BlockIndex();
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
  if (!script.starts_with(kSearchFileMarker)) {
    return false;
  }
  script.remove_prefix(kSearchFileMarker.size());
  if (!script.starts_with(kCall) || script.size() < kCall.size() + kEnd.size() ||
      !script.ends_with(kEnd)) {
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
