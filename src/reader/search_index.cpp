#include "reader/search_index.h"

#include <algorithm>
#include <cstdio>
#include <future>
#include <map>
#include <thread>

#include "base/text.h"
#include "reader/reader_page.h"
#include "reader/search_record.h"
#include "reader/search_shards.h"
#include "run/local_files.h"

namespace qz {

namespace {

constexpr size_t kTitleHead = 4096;  // a turn's title is near its start
constexpr size_t kLongestTitle = 100;
constexpr size_t kFilesPerFlush = 256;

// A name this program gives the files of its index (or their ".part").
bool isIndexFileName(std::string_view name) {
  if (name.ends_with(".part")) {
    name.remove_suffix(5);
  }
  return name.ends_with(".js") &&
         ((name.size() > 1 && name[0] == 'b' && isDigit(name[1])) || name.starts_with("docs-"));
}

// The generation a file name carries ("b3-17-vo.js", "docs-17.js"), or 0.
uint32_t generationOf(std::string_view name) {
  size_t start = name[0] == 'b' ? name.find('-') : 4;
  size_t end = start == std::string_view::npos ? start : name.find_first_of("-.", start + 1);
  std::string_view digits =
      end == std::string_view::npos ? std::string_view() : name.substr(start + 1, end - start - 1);
  return !digits.empty() && digits.size() < 10 && allDigits(digits)
             ? static_cast<uint32_t>(std::stoul(std::string(digits)))
             : 0;
}

// The name of a block's scripts up to their key: "b3-17".
std::string blockPrefix(size_t block, uint32_t generation) {
  return std::string("b")
      .append(std::to_string(block))
      .append("-")
      .append(std::to_string(generation));
}

// The record of the index in dir, when it stands as it says: every file it
// names there, with its size.
bool trustedRecord(const std::string& dir, const std::map<std::string, unsigned long long>& sizes,
                   Record& record) {
  const std::string path = dir + kDirectorySeparator + kRecordName;
  if (!fileExists(path) || !readRecord(readWholeFile(path), record)) {
    return false;
  }
  return std::all_of(record.files.begin(), record.files.end(), [&](const auto& file) {
    auto found = sizes.find(file.first);
    return found != sizes.end() && found->second == file.second;
  });
}

}  // namespace

std::string titleOf(std::string_view head) {
  size_t open = findIgnoringCase(head, "<title");
  size_t start = open == std::string_view::npos ? open : head.find('>', open);
  size_t end = start == std::string_view::npos ? start : findIgnoringCase(head, "</title", start);
  if (end == std::string_view::npos) {
    return {};
  }
  std::string title;
  for (char c : head.substr(start + 1, std::min(end - start - 1, kLongestTitle))) {
    if (c == '<') {
      title += "&lt;";
    } else if (c == '>') {
      title += "&gt;";
    } else if (c == '\r' || c == '\n' || c == '\t') {
      title += ' ';
    } else {
      title += c;
    }
  }
  size_t first = title.find_first_not_of(' ');
  return first == std::string::npos ? std::string()
                                    : title.substr(first, title.find_last_not_of(' ') - first + 1);
}

SearchIndexUpdate updateSearchIndex(const std::string& folder, const std::vector<TurnFile>& turns,
                                    DurableBatch& batch, uint32_t blockTurns) {
  SearchIndexUpdate update;
  update.titles.resize(turns.size());
  auto pathOf = [&](const std::string& file) {
    std::string path = folder + kDirectorySeparator + file;
    std::replace(path.begin(), path.end(), '/', kDirectorySeparator);
    return path;
  };
  const std::string dir = folder + kDirectorySeparator + kSearchFolder;
  const std::string recordPath = dir + kDirectorySeparator + kRecordName;
  if (fileExists(dir) ||
      (fileExists(recordPath) && readFileHead(recordPath, kRecordKind.size()) != kRecordKind)) {
    for (size_t i = 0; i < turns.size(); ++i) {
      if (turns[i].size > 0) {
        update.titles[i] = titleOf(readFileHead(pathOf(turns[i].file), kTitleHead));
      }
    }
    return update;  // somebody else's: left alone, and the page without search
  }
  std::map<std::string, unsigned long long> sizes;
  uint32_t newestGeneration = 0;
  for (const FolderEntry& entry : listFolder(dir)) {
    sizes[entry.name] = entry.size;
    if (isIndexFileName(entry.name)) {
      newestGeneration = std::max(newestGeneration, generationOf(entry.name));
    }
  }
  Record old;
  const bool trusted = trustedRecord(dir, sizes, old) && old.blockTurns == blockTurns;
  if (!trusted) {
    old = Record();
    old.blockTurns = blockTurns;
  }

  // Turns whose file is as it was keep their place in the index and their
  // title; the rest are read. A turn whose file went or changed leaves its
  // number behind, unused, until so many are that the index is made anew.
  std::vector<int64_t> numbers(turns.size(), -1);
  std::vector<bool> unread(turns.size(), true);
  std::vector<std::string> addresses(turns.size());
  uint32_t kept = 0;
  for (size_t i = 0; i < turns.size(); ++i) {
    addresses[i] = addressOf(turns[i].file);
    auto found = old.turns.find(addresses[i]);
    if (found != old.turns.end() && found->second.size == turns[i].size &&
        found->second.modified == turns[i].modified) {
      numbers[i] = found->second.number;
      update.titles[i] = found->second.title;
      unread[i] = false;
      kept += numbers[i] >= 0 ? 1 : 0;
    }
  }
  const bool reading = std::find(unread.begin(), unread.end(), true) != unread.end();
  const uint32_t unused = old.nextTurn - kept;
  Record record = old;
  BlockIndex block;
  size_t blockNumber = record.nextTurn / record.blockTurns;
  bool blockOpen = false;
  // The last block, when turns go into it, is read back first: a shard that
  // does not read as one is damage, and the index is made anew.
  auto takeLastBlock = [&] {
    const std::string prefix = blockPrefix(blockNumber, record.blockGenerations[blockNumber]);
    for (auto file = record.files.lower_bound(prefix);
         file != record.files.end() && file->first.starts_with(prefix);) {
      const char after = file->first[prefix.size()];
      if (after != '-' && after != '.') {
        ++file;  // a block whose name goes on: "b1-12" after "b1-1"
        continue;
      }
      if (!block.takeScript(readWholeFile(dir + kDirectorySeparator + file->first), after == '.')) {
        return false;
      }
      file = record.files.erase(file);
    }
    blockOpen = true;
    return block.whole();
  };
  const bool rebuilt =
      !trusted || (unused > 64 && unused * 4 > old.nextTurn) ||
      (reading && blockNumber < record.blockGenerations.size() && !takeLastBlock());
  if (rebuilt) {
    record = Record();
    record.blockTurns = blockTurns;
    block = BlockIndex();
    blockNumber = 0;
    blockOpen = false;
    std::fill(numbers.begin(), numbers.end(), -1);
    std::fill(unread.begin(), unread.end(), true);
  }
  // With every turn found as it was, the index changes only when a turn it
  // held is gone.
  const bool changed = rebuilt || reading || old.turns.size() != turns.size();
  record.generation = std::max(old.generation, newestGeneration) + (changed ? 1 : 0);
  record.turns.clear();

  // New turns go on after the last, in the order the page lists them, into
  // the last block and those after it; only those blocks are written again.
  std::vector<std::vector<size_t>> byBlock(blockOpen ? 1 : 0);
  for (size_t i = 0; i < turns.size(); ++i) {
    if (unread[i] && turns[i].size > 0) {
      numbers[i] = record.nextTurn++;
      const size_t b = static_cast<size_t>(numbers[i]) / record.blockTurns - blockNumber;
      byBlock.resize(std::max(byBlock.size(), b + 1));
      byBlock[b].push_back(i);
    }
  }
  auto indexTurns = [&](BlockIndex& into, const std::vector<size_t>& list, size_t from, size_t to) {
    for (size_t k = from; k < to; ++k) {
      const size_t i = list[k];
      // A turn file that cannot be read is listed all the same, without
      // title or words, as the reader page has always listed it.
      const std::string content =
          readFileHead(pathOf(turns[i].file), static_cast<size_t>(turns[i].size));
      update.titles[i] = titleOf(std::string_view(content).substr(0, kTitleHead));
      into.addTurn(static_cast<uint32_t>(numbers[i] % record.blockTurns), content);
    }
  };
  DurableBatch shardBatch;
  for (const std::vector<size_t>& list : byBlock) {
    makeDirectory(dir);
    // Parts at once, one to a processor, each later part joined to the
    // block in turn: reading the words is most of the time a large
    // archive's first index takes. Parts of fewer than 64 turns are not
    // worth a thread.
    const size_t parts = std::clamp<size_t>(
        std::min<size_t>(std::thread::hardware_concurrency(), list.size() / 64), 1, 8);
    std::vector<BlockIndex> later(parts - 1);
    std::vector<std::future<void>> running;
    for (size_t p = 1; p < parts; ++p) {
      running.push_back(std::async(std::launch::async, [&, p] {
        indexTurns(later[p - 1], list, list.size() * p / parts, list.size() * (p + 1) / parts);
      }));
    }
    indexTurns(block, list, 0, list.size() / parts);
    for (size_t p = 1; p < parts; ++p) {
      running[p - 1].get();
      block.append(std::move(later[p - 1]));
    }
    const std::string prefix = blockPrefix(blockNumber, record.generation);
    block.takeScripts(prefix, [&](const std::string& name, const std::string& script) {
      shardBatch.write(dir + kDirectorySeparator + name + ".js", script);
      record.files[name + ".js"] = script.size();
      if (shardBatch.size() >= kFilesPerFlush) {
        shardBatch.commit();
      }
    });
    record.blockGenerations.resize(std::max(record.blockGenerations.size(), blockNumber + 1));
    record.blockGenerations[blockNumber++] = record.generation;
  }
  shardBatch.commit();

  std::string docs;
  std::vector<std::string> addressOfNumber(record.nextTurn, "-");
  for (size_t i = 0; i < turns.size(); ++i) {
    record.turns[addresses[i]] = {numbers[i], turns[i].size, turns[i].modified, update.titles[i]};
    if (numbers[i] >= 0) {
      addressOfNumber[static_cast<size_t>(numbers[i])] = addresses[i];
    }
  }
  if (changed) {
    for (const std::string& address : addressOfNumber) {
      docs += (docs.empty() ? "" : " ") + address;
    }
    record.files.erase(record.docsName);
    record.docsName = "docs-" + std::to_string(record.generation) + ".js";
    const std::string script = shardScript("docs", docs);
    record.files[record.docsName] = script.size();
    makeDirectory(dir);
    batch.write(dir + kDirectorySeparator + record.docsName, script);
    batch.write(recordPath, recordText(record));
  }
  for (const auto& [name, size] : sizes) {
    if (isIndexFileName(name) && record.files.count(name) == 0) {
      update.staleFiles.push_back(dir + kDirectorySeparator + name);
    }
  }
  update.info.docsScript = std::string(kSearchFolder) + "/" + record.docsName;
  update.info.blockGenerations = record.blockGenerations;
  update.info.blockTurns = record.blockTurns;
  return update;
}

void removeStaleFiles(const std::vector<std::string>& staleFiles) {
  for (const std::string& path : staleFiles) {
    if (path.ends_with(".part") ||
        readFileHead(path, kSearchFileMarker.size()) == kSearchFileMarker) {
      std::remove(path.c_str());
    }
  }
}

}  // namespace qz
