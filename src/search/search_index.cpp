#include "search/search_index.h"

#include <algorithm>
#include <cstdio>
#include <future>
#include <map>
#include <optional>
#include <set>
#include <thread>

#include "base/text.h"
#include "run/local_files.h"
#include "run/run_error.h"
#include "search/block_index.h"
#include "search/index_names.h"
#include "search/index_record.h"

namespace qz {

namespace {

constexpr size_t kTitleHead = 4096;  // a turn's title is near its start
constexpr size_t kLongestTitle = 100;
constexpr size_t kFilesPerFlush = 256;

// The index's folder, and the paths of the turn files and of its own.
struct Paths {
  std::string folder;
  std::string dir;
  std::string turn(const std::string& file) const {
    std::string path = folder + kDirectorySeparator + file;
    std::replace(path.begin(), path.end(), '/', kDirectorySeparator);
    return path;
  }
  std::string inIndex(const std::string& name) const { return dir + kDirectorySeparator + name; }
};

// True when the index's folder is somebody else's, or leads out of the
// working folder: a link, a file of that name, a record that is not this
// program's, or, with no record, anything in it that is not of the index's
// names (an empty folder, or the files of a first run killed before its
// record landed, its record's ".part" among them, are the index's).
bool foreignIndex(const Paths& paths) {
  const std::string record = paths.inIndex(kRecordName);
  if (isLink(paths.dir) || fileExists(paths.dir) || isLink(record)) {
    return true;
  }
  if (fileExists(record)) {
    return readFileHead(record, kRecordKind.size()) != kRecordKind;
  }
  const std::vector<FolderEntry> entries = listFolder(paths.dir);
  const std::string recordPart = std::string(kRecordName) + std::string(kPartSuffix);
  return std::any_of(entries.begin(), entries.end(), [&](const FolderEntry& entry) {
    return entry.isFolder || (!parseFileName(entry.name) && entry.name != recordPart);
  });
}

std::optional<Record> readOldRecord(const Paths& paths) {
  const std::string path = paths.inIndex(kRecordName);
  Record record;
  if (!fileExists(path) || !readRecord(readWholeFile(path), record)) {
    return std::nullopt;
  }
  return record;
}

// Takes the scripts of the block plan reopens into block; false when one
// is not the bytes the record says or does not read, or the block does not
// come whole.
bool readBack(const Paths& paths, const Record& old, const IndexPlan& plan, BlockIndex& block) {
  for (const std::string& name : plan.reopenedFiles) {
    const std::optional<IndexFileName> parsed = parseFileName(name);
    const std::string script = readWholeFile(paths.inIndex(name));
    if (checksumOf(script) != old.files.at(name).checksum ||
        !block.takeScript(script, parsed->kind == IndexFileKind::kPlaces)) {
      return false;
    }
  }
  return block.whole();
}

// Reads the turns of list, from to to, into block: their words by their
// numbers within the block, their titles into titles.
void indexTurns(const Paths& paths, const std::vector<TurnFile>& turns, const IndexPlan& plan,
                const std::vector<size_t>& list, size_t from, size_t to, BlockIndex& block,
                std::vector<std::string>& titles) {
  for (size_t k = from; k < to; ++k) {
    const size_t i = list[k];
    // A turn file that cannot be read is listed all the same, without
    // title or words, as the reader page has always listed it; one too
    // large to read is listed with its title.
    const std::string content =
        readFileHead(paths.turn(turns[i].file),
                     plan.tooLarge[i] ? kTitleHead : static_cast<size_t>(turns[i].size));
    titles[i] = titleOf(std::string_view(content).substr(0, kTitleHead));
    block.addTurn(static_cast<uint32_t>(plan.numbers[i] % plan.record.blockTurns),
                  plan.tooLarge[i] ? std::string_view() : std::string_view(content));
  }
}

// Fills block with the turns of list, in parts at once, one to a processor,
// each later part joined to the block in turn: reading the words is most of
// the time a large archive's first index takes. Parts of fewer than 64
// turns are not worth a thread.
void indexBlock(const Paths& paths, const std::vector<TurnFile>& turns, const IndexPlan& plan,
                const std::vector<size_t>& list, BlockIndex& block,
                std::vector<std::string>& titles) {
  const size_t parts = std::clamp<size_t>(
      std::min<size_t>(std::thread::hardware_concurrency(), list.size() / 64), 1, 8);
  std::vector<BlockIndex> later(parts - 1);
  std::vector<std::future<void>> running;
  for (size_t p = 1; p < parts; ++p) {
    running.push_back(std::async(std::launch::async, [&, p] {
      indexTurns(paths, turns, plan, list, list.size() * p / parts, list.size() * (p + 1) / parts,
                 later[p - 1], titles);
    }));
  }
  indexTurns(paths, turns, plan, list, 0, list.size() / parts, block, titles);
  for (size_t p = 1; p < parts; ++p) {
    running[p - 1].get();
    block.append(std::move(later[p - 1]));
  }
}

// The page without an index: titles read from every turn file.
SearchIndexUpdate pageWithoutIndex(const Paths& paths, const std::vector<TurnFile>& turns,
                                   const std::string& pagePath, const PageMaker& page) {
  SearchIndexUpdate update;
  update.titles.resize(turns.size());
  for (size_t i = 0; i < turns.size(); ++i) {
    if (turns[i].size > 0) {
      update.titles[i] = titleOf(readFileHead(paths.turn(turns[i].file), kTitleHead));
    }
  }
  DurableBatch batch;
  batch.write(pagePath, page(update));
  batch.commit();
  return update;
}

SearchIndexUpdate updateIndex(const Paths& paths, const std::vector<TurnFile>& turns,
                              const std::string& pagePath, const PageMaker& page,
                              uint32_t blockTurns) {
  FolderListing onDisk;
  for (const FolderEntry& entry : listFolder(paths.dir)) {
    onDisk[entry.name] = {entry.size, entry.modified, 0};
  }
  const std::optional<Record> old = readOldRecord(paths);
  IndexPlan plan = planIndexUpdate(old, onDisk, turns, blockTurns);
  BlockIndex block;
  if (plan.reopened && !readBack(paths, *old, plan, block)) {
    plan = planIndexUpdate(old, onDisk, turns, blockTurns, true);
    block = BlockIndex();
  }

  SearchIndexUpdate update;
  update.titles = plan.titles;
  for (size_t i = 0; i < turns.size(); ++i) {
    if (plan.tooLarge[i]) {
      update.notSearched.push_back(turns[i].file);
    }
  }
  Record& record = plan.record;
  DurableBatch scripts;
  std::set<std::string> written;  // the names of this update's files
  for (size_t b = 0; b < plan.blocks.size(); ++b) {
    makeDirectory(paths.dir);
    indexBlock(paths, turns, plan, plan.blocks[b], block, update.titles);
    block.takeScripts(static_cast<uint32_t>(plan.firstBlock + b), plan.generation,
                      [&](const std::string& name, const std::string& script) {
                        scripts.write(paths.inIndex(name), script);
                        record.files[name] = {script.size(), 0, checksumOf(script)};
                        written.insert(name);
                        ++update.filesWritten;
                        if (scripts.size() >= kFilesPerFlush) {
                          scripts.commit();
                        }
                      });
  }

  std::vector<std::string> addressOfNumber(record.nextTurn, "-");
  for (size_t i = 0; i < turns.size(); ++i) {
    record.turns[turns[i].address] = {plan.numbers[i], turns[i].size, turns[i].modified,
                                      update.titles[i]};
    if (plan.numbers[i] >= 0) {
      addressOfNumber[static_cast<size_t>(plan.numbers[i])] = turns[i].address;
    }
  }
  update.info.docsScript = std::string(kSearchFolder) + "/" + record.docsName;
  update.info.blockGenerations = record.blockGenerations;
  update.info.blockTurns = record.blockTurns;
  // The list of turns of the new generation goes with the blocks' scripts;
  // then, once the record knows the time of every file written, the record
  // and the page land together.
  DurableBatch together;
  if (plan.changed) {
    std::string docs;
    for (const std::string& address : addressOfNumber) {
      docs += (docs.empty() ? "" : " ") + address;
    }
    const std::string script = shardScript(std::string(kDocsScriptName), docs);
    record.files[record.docsName] = {script.size(), 0, checksumOf(script)};
    written.insert(record.docsName);
    makeDirectory(paths.dir);
    scripts.write(paths.inIndex(record.docsName), script);
    scripts.commit();
    for (const FolderEntry& entry : listFolder(paths.dir)) {
      if (written.count(entry.name) > 0) {
        record.files[entry.name].modified = entry.modified;
      }
    }
    together.write(paths.inIndex(kRecordName), recordText(record));
    update.filesWritten += 2;
  }
  scripts.commit();
  together.write(pagePath, page(update));
  together.commit();
  // Only what carries this program's first line goes, ".part" files of its
  // names too: a file of another's is never removed for its name alone.
  for (const std::string& name : plan.stale) {
    const std::string path = paths.inIndex(name);
    if (readFileHead(path, kSearchFileMarker.size()) == kSearchFileMarker) {
      std::remove(path.c_str());
    }
  }
  return update;
}

}  // namespace

std::string notSearchedMessage(const std::string& file) {
  return "qzturns: " + file + " is larger than " + std::to_string(kLargestTurnRead >> 20) +
         " MiB; index.htm lists it, but its words are not searched.\r\n";
}

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
                                    const std::string& pagePath, const PageMaker& page,
                                    uint32_t blockTurns) {
  const Paths paths{folder, folder + kDirectorySeparator + kSearchFolder};
  if (foreignIndex(paths)) {
    return pageWithoutIndex(paths, turns, pagePath, page);  // left alone
  }
  try {
    return updateIndex(paths, turns, pagePath, page, blockTurns);
  } catch (const FileFailure& failure) {
    // The old record, list and page still name whole files: the page is
    // written again without search (this throws when the page is what
    // failed), and the next run repairs the index.
    SearchIndexUpdate none = pageWithoutIndex(paths, turns, pagePath, page);
    none.indexFailure = failure.code();
    return none;
  }
}

}  // namespace qz
