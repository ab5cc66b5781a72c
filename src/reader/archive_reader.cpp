#include "reader/archive_reader.h"

#include <algorithm>
#include <set>

#include "base/text.h"
#include "page/archive_names.h"
#include "run/key_list.h"
#include "run/local_files.h"
#include "run/run_error.h"
#include "search/index_names.h"
#include "search/search_index.h"

namespace qz {

namespace {

// A number written in digits, compared by value however long it is.
bool numberLess(std::string_view a, std::string_view b) {
  a.remove_prefix(std::min(a.find_first_not_of('0'), a.size()));
  b.remove_prefix(std::min(b.find_first_not_of('0'), b.size()));
  return a.size() != b.size() ? a.size() < b.size() : a < b;
}

// Numbered turns by number, then oli turns by their pair, as the site lists
// them, then anything else by name.
int group(std::string_view key) {
  if (allDigits(key)) {
    return 0;
  }
  return key.substr(0, 2) == "ol" ? 1 : 2;
}

bool turnLess(const ReaderTurn& a, const ReaderTurn& b) {
  int ga = group(a.key), gb = group(b.key);
  if (ga != gb) {
    return ga < gb;
  }
  if (ga == 0 && a.key != b.key) {
    return numberLess(a.key, b.key) || (!numberLess(b.key, a.key) && a.key < b.key);
  }
  if (ga == 1) {
    std::string_view pa = std::string_view(a.key).substr(2), pb = std::string_view(b.key).substr(2);
    std::string_view a1 = pa.substr(0, pa.find(',')), b1 = pb.substr(0, pb.find(','));
    if (allDigits(a1) && allDigits(b1) && a1 != b1 && numberLess(a1, b1) != numberLess(b1, a1)) {
      return numberLess(a1, b1);
    }
    std::string_view a2 = pa.substr(std::min(pa.size(), a1.size() + 1));
    std::string_view b2 = pb.substr(std::min(pb.size(), b1.size() + 1));
    if (allDigits(a2) && allDigits(b2) && numberLess(a2, b2) != numberLess(b2, a2)) {
      return numberLess(a2, b2);
    }
  }
  return a.key < b.key;
}

std::vector<ReaderCharacter> scanArchive(const std::string& folder,
                                         const std::set<std::string>& fresh) {
  KeyList numbers;
  std::vector<ReaderCharacter> characters;
  for (const FolderEntry& entry : listFolder(folder, true)) {
    if (entry.isFolder && entry.name.rfind(std::string(characterFolder("")), 0) == 0) {
      numbers.add(entry.name.substr(characterFolder("").size()));
    }
  }
  for (size_t i = 0; i < numbers.count(); ++i) {
    ReaderCharacter character;
    character.number = numbers.at(i);
    const std::string sub = characterFolder(character.number);
    const std::string prefix = character.number + "-";
    for (const FolderEntry& entry : listFolder(folder + kDirectorySeparator + sub)) {
      const std::string& name = entry.name;
      if (entry.isFolder || name.size() <= prefix.size() + 4 || name.rfind(prefix, 0) != 0 ||
          name.substr(name.size() - 4) != ".htm") {
        continue;  // not a turn file (a ".part" of a killed run among them)
      }
      ReaderTurn turn;
      turn.key = name.substr(prefix.size(), name.size() - prefix.size() - 4);
      turn.file = sub + "/" + name;
      turn.empty = entry.size == 0;
      turn.size = entry.size;
      turn.modified = entry.modified;
      turn.isNew = fresh.count(turn.file) > 0;
      character.added += turn.isNew ? 1 : 0;
      character.turns.push_back(std::move(turn));
    }
    if (!character.turns.empty()) {
      std::sort(character.turns.begin(), character.turns.end(), turnLess);
      characters.push_back(std::move(character));
    }
  }
  return characters;
}

}  // namespace

std::string readerNotesText(const ReaderNotes& notes) {
  std::string text;
  for (const std::string& file : notes.notSearched) {
    text += notSearchedMessage(file);
  }
  if (notes.indexFailure != 0) {
    text += "qzturns: " + std::string(kSearchFolder) + " could not be written (" +
            fileErrorMessage(notes.indexFailure) + "); " + kReaderFileName +
            " was written without search.\r\n";
  }
  if (notes.pageFailure != 0) {
    text += "qzturns: " + std::string(kReaderFileName) + " could not be written (" +
            fileErrorMessage(notes.pageFailure) +
            "); the turns are saved, but the reader page is as the last run left it.\r\n";
  }
  return text;
}

ReaderOutcome writeReaderPage(const std::string& folder, const std::vector<std::string>& newFiles,
                              ReaderNotes* notes) {
  ReaderNotes unused;
  notes = notes != nullptr ? notes : &unused;
  const std::string pagePath = folder + kDirectorySeparator + kReaderFileName;
  if (fileExists(pagePath) &&
      readFileHead(pagePath, kReaderMarker.size() + 1) != std::string(kReaderMarker) + "\n") {
    return ReaderOutcome::kForeignPage;
  }
  std::set<std::string> fresh;
  for (std::string file : newFiles) {
    std::replace(file.begin(), file.end(), kDirectorySeparator, '/');
    fresh.insert(file);
  }
  std::vector<ReaderCharacter> characters = scanArchive(folder, fresh);
  std::vector<TurnFile> turns;
  for (const ReaderCharacter& character : characters) {
    for (const ReaderTurn& turn : character.turns) {
      turns.push_back({turn.file, addressOf(turn.file), turn.size, turn.modified});
    }
  }
  SearchIndexUpdate search;
  try {
    search = updateSearchIndex(folder, turns, pagePath, [&](const SearchIndexUpdate& update) {
      size_t at = 0;
      for (ReaderCharacter& character : characters) {
        for (ReaderTurn& turn : character.turns) {
          turn.title = update.titles[at++];
        }
      }
      return renderReaderPage(characters, update.info);
    });
  } catch (const FileFailure& failure) {
    notes->pageFailure = failure.code();
    return ReaderOutcome::kPageFailed;
  }
  notes->notSearched = search.notSearched;
  notes->indexFailure = search.indexFailure;
  return search.info.docsScript.empty() ? ReaderOutcome::kWrittenWithoutSearch
                                        : ReaderOutcome::kWritten;
}

}  // namespace qz
