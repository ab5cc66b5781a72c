#include "search/search_index.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "run/local_files.h"
#include "search/block_index.h"
#include "search/index_names.h"
#include "search/index_record.h"
#include "temp_folder.h"
#include "turn_file.h"

namespace qz {
namespace {

using qztest::turnFile;

std::vector<std::string> split(std::string_view text) {
  std::vector<std::string> parts;
  for (size_t at = 0; at < text.size();) {
    size_t end = std::min(text.find(' ', at), text.size());
    parts.emplace_back(text.substr(at, end - at));
    at = end + 1;
  }
  return parts;
}

// An archive in a folder of its own and its index, with blocks of two turns
// so that a few turns make several.
class SearchIndexTest : public ::testing::Test {
 protected:
  void write(const std::string& file, const std::string& title, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(archive / file).parent_path());
    qztest::writeFile(archive / file, turnFile(title, text));
  }

  // Brings the index up to date with the turn files given, in that order.
  SearchIndexUpdate update(const std::vector<std::string>& files, uint32_t blockTurns = 2) {
    std::vector<TurnFile> turns;
    for (const std::string& file : files) {
      const std::filesystem::path path = archive / file;
      std::string name = path.filename().string();
      for (const FolderEntry& entry : listFolder(path.parent_path().string())) {
        if (entry.name == name) {
          turns.push_back({file, file, entry.size, entry.modified});
        }
      }
    }
    SearchIndexUpdate done = updateSearchIndex(
        archive.path(), turns, archive.path() + "/page.htm",
        [](const SearchIndexUpdate&) { return std::string("page"); }, blockTurns);
    written = done.filesWritten;
    info = done.info;
    return done;
  }

  // The turn files the index finds word in, read from its files as the
  // page reads them.
  std::set<std::string> holding(const std::string& word) {
    std::string_view text;
    const std::string docs = readWholeFile(archive.path() + "/" + info.docsScript);
    EXPECT_TRUE(shardText(docs, text));
    const std::vector<std::string> files = split(text);
    std::set<std::string> found;
    for (size_t b = 0; b < info.blockGenerations.size(); ++b) {
      const std::string shard =
          archive.path() + "/search-index/" +
          fileName(turnsFile(static_cast<uint32_t>(b), info.blockGenerations[b], shardKey(word)));
      const std::string script = fileExists(shard) ? readWholeFile(shard) : "";
      if (script.empty() || !shardText(script, text)) {
        continue;
      }
      const std::vector<std::string> fields = split(text);
      for (size_t i = 0; i + 1 < fields.size(); i += 2) {
        std::vector<uint32_t> gaps;
        if (fields[i] == word && readNumbers(fields[i + 1], gaps)) {
          int64_t turn = -1;
          for (uint32_t gap : gaps) {
            turn += gap + 1;
            const std::string& file = files.at(b * info.blockTurns + turn);
            if (file != "-") {
              found.insert(file);
            }
          }
        }
      }
    }
    return found;
  }

  std::set<std::string> indexFiles() {
    std::set<std::string> names;
    for (const FolderEntry& entry : listFolder(archive.path() + "/search-index")) {
      names.insert(entry.name);
    }
    return names;
  }

  qztest::TempFolder archive;
  SearchIndexInfo info;
  size_t written = 0;
};

using Files = std::set<std::string>;

TEST_F(SearchIndexTest, OnlyTheTurnsNewOrChangedAreReadAndTheirBlocksWritten) {
  write("qz1/1-001.htm", "Els\xF5", "Ilona a V\xF6r\xF6s toronyban");
  write("qz1/1-002.htm", "M\xE1sodik", "A torony v\xF6r\xF6s, Ilona nem");
  write("qz1/1-003.htm", "Harmadik", "kimarad");
  write("qz2/2-001.htm", "Negyedik", "&Ouml;rs&eacute;g a toronyban");
  write("qz2/2-002.htm", "", "");
  std::filesystem::resize_file(archive / "qz2/2-002.htm", 0);
  // A time set as it is set again below, whatever the file system keeps of it.
  const auto firstTime = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
  std::filesystem::last_write_time(archive / "qz1/1-001.htm", firstTime);
  const std::vector<std::string> first = {"qz1/1-001.htm", "qz1/1-002.htm", "qz1/1-003.htm",
                                          "qz2/2-001.htm", "qz2/2-002.htm"};
  EXPECT_EQ(update(first).titles,
            (std::vector<std::string>{"Els\xF5", "M\xE1sodik", "Harmadik", "Negyedik", ""}));
  EXPECT_EQ(holding("ilona"), (Files{"qz1/1-001.htm", "qz1/1-002.htm"}));
  EXPECT_EQ(holding("orseg"), Files{"qz2/2-001.htm"});
  EXPECT_EQ(info.blockGenerations, (std::vector<uint32_t>{1, 1}));

  // The same again: nothing read, nothing written.
  const Files before = indexFiles();
  update(first);
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(indexFiles(), before);

  // A turn file edited to the same size and time is taken as it was: it
  // is not read again. One changed, one gone, one new.
  write("qz1/1-001.htm", "Els\xF5", "Bence a V\xF6r\xF6s toronyban");
  std::filesystem::last_write_time(archive / "qz1/1-001.htm", firstTime);
  write("qz1/1-002.htm", "M\xE1sodik!", "Ilona elment");
  std::filesystem::remove(archive / "qz1/1-003.htm");
  write("qz2/2-003.htm",
        "\xD6t\xF6"
        "dik",
        "Ilona visszat\xE9rt");
  const SearchIndexUpdate second =
      update({"qz1/1-001.htm", "qz1/1-002.htm", "qz2/2-001.htm", "qz2/2-002.htm", "qz2/2-003.htm"});
  EXPECT_EQ(second.titles, (std::vector<std::string>{"Els\xF5", "M\xE1sodik!", "Negyedik", "",
                                                     "\xD6t\xF6"
                                                     "dik"}));
  EXPECT_EQ(holding("ilona"), (Files{"qz1/1-001.htm", "qz1/1-002.htm", "qz2/2-003.htm"}));
  EXPECT_EQ(holding("bence"), Files{});
  EXPECT_EQ(holding("kimarad"), Files{});
  EXPECT_EQ(holding("torony"), Files{});
  EXPECT_EQ(holding("toronyban"), (Files{"qz1/1-001.htm", "qz2/2-001.htm"}));
  // The full blocks stand as they were; the two read went into a third,
  // and the old list of turns is gone the run after (a page opened before
  // still loads it).
  EXPECT_EQ(info.blockGenerations, (std::vector<uint32_t>{1, 1, 2}));
  for (const std::string& name : indexFiles()) {
    EXPECT_TRUE(before.count(name) > 0 || name.rfind("b2-2", 0) == 0 || name == "docs-2.js")
        << name;
  }
  EXPECT_EQ(indexFiles().count("docs-1.js"), 1u);
  update({"qz1/1-001.htm", "qz1/1-002.htm", "qz2/2-001.htm", "qz2/2-002.htm", "qz2/2-003.htm"});
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(indexFiles().count("docs-1.js"), 0u);
}

// A block of hundreds of turns is read in parts at once, on as many
// processors as there are: the parts join as if read one by one.
TEST_F(SearchIndexTest, ABlockReadInPartsHoldsEveryTurnOnce) {
  std::vector<std::string> files;
  for (int i = 0; i < 300; ++i) {
    files.push_back("qz1/1-" + std::to_string(1000 + i) + ".htm");
    write(files.back(), "t", "common w" + std::to_string(i) + " x" + std::to_string(i % 7));
  }
  update(files, 4096);
  EXPECT_EQ(holding("common"), Files(files.begin(), files.end()));
  EXPECT_EQ(holding("w299"), Files{files[299]});
  Files sevenths;
  for (size_t i = 3; i < files.size(); i += 7) {
    sevenths.insert(files[i]);
  }
  EXPECT_EQ(holding("x3"), sevenths);
}

// A record's text edited by hand, and its checksum made again.
std::string withChecksum(std::string text) {
  text.erase(text.rfind("end "));
  return text + "end " + std::to_string(checksumOf(text)) + "\n";
}

// A record read, changed by change, and written again with its checksum.
template <typename Change>
std::string recordChanged(const std::string& bytes, Change change) {
  Record record;
  EXPECT_TRUE(readRecord(bytes, record));
  change(record);
  return recordText(record);
}

TEST_F(SearchIndexTest, AnIndexThatDoesNotMatchIsMadeAnew) {
  const std::vector<std::string> files = {"qz1/1-001.htm", "qz1/1-002.htm", "qz1/1-003.htm"};
  // Each damage done to the index of three turns, as bytes of one file,
  // its time of last write moved on or (keptTime) kept as it was.
  const struct {
    const char* what;
    const char* file;
    std::string (*damaged)(std::string bytes);
    bool keptTime = false;
  } kDamage[] = {
      {"a shard cut short", "b0-1-il.js",
       [](std::string) { return std::string("/* qzturns search index */\nqz"); }},
      {"a script of a block not read back, zeroed in place", "b0-1-il.js",
       [](std::string bytes) { return std::string(bytes.size(), '\0'); }},
      {"a shard of the block read back, its size and time kept", "b1-1-ha.js",
       [](std::string bytes) { return bytes.replace(bytes.size() - 5, 1, "\""); }, true},
      {"a gap in a list read back edited, its size and time kept", "b1-1-ha.js",
       [](std::string bytes) { return bytes.replace(bytes.size() - 5, 1, "b"); }, true},
      {"a record changed by hand", "record.txt",
       [](std::string bytes) { return bytes.replace(bytes.find("next 3"), 6, "next 2"); }},
      {"a record of another version", "record.txt",
       [](std::string) { return std::string("qzturns search index 99\n"); }},
      {"a title made markup", "record.txt",
       [](std::string bytes) {
         return recordChanged(bytes, [](Record& record) {
           record.turns.begin()->second.title = "<img src=x onerror=alert(1)>";
         });
       }},
      {"a size past any number", "record.txt",
       [](std::string bytes) {
         const size_t size = bytes.find(' ', bytes.find("\nturn ") + 6) + 1;
         return withChecksum(bytes.replace(size, bytes.find(' ', size) - size,
                                           "99999999999999999999"));  // 20 digits
       }},
      {"the next number past its blocks", "record.txt",
       [](std::string bytes) {
         return recordChanged(bytes, [](Record& record) { record.nextTurn = 4294967295u; });
       }},
      {"a number past 32 bits", "record.txt",
       [](std::string bytes) {
         return withChecksum(bytes.replace(bytes.find("next 3"), 6, "next 4294967299"));
       }},
      {"a turn number below -1", "record.txt",
       [](std::string bytes) {
         return recordChanged(bytes,
                              [](Record& record) { record.turns.begin()->second.number = -2; });
       }},
      {"one turn number for two turns", "record.txt",
       [](std::string bytes) {
         return recordChanged(bytes, [](Record& record) {
           record.turns["qz1/1-001.htm"].number = record.turns["qz1/1-002.htm"].number;
         });
       }},
      {"markup in the name of the list of turns", "record.txt",
       [](std::string bytes) {
         return recordChanged(bytes, [](Record& record) {
           const std::string name = "docs-1.js\"><img src=x onerror=alert(1)>";
           record.files[name] = record.files[record.docsName];
           record.files.erase(record.docsName);
           record.docsName = name;
         });
       }},
  };
  for (const auto& damage : kDamage) {
    SCOPED_TRACE(damage.what);
    for (const auto& entry : std::filesystem::directory_iterator(archive.path())) {
      std::filesystem::remove_all(entry.path());
    }
    write(files[0], "a", "Ilona egy");
    write(files[1], "b", "Ilona kett\xF5");
    write(files[2], "c", "harom");
    update(files);
    const std::filesystem::path path = archive / ("search-index/" + std::string(damage.file));
    const auto time = std::filesystem::last_write_time(path);
    qztest::writeFile(path.string(), damage.damaged(readWholeFile(path.string())));
    // Set, not left to the clock, whose ticks may be coarser than the test.
    std::filesystem::last_write_time(path, damage.keptTime ? time : time + std::chrono::seconds(1));
    write("qz1/1-004.htm", "d", "Ilona negy");
    update({files[0], files[1], files[2], "qz1/1-004.htm"});
    update({files[0], files[1], files[2], "qz1/1-004.htm"});  // the old files' last run
    EXPECT_EQ(info.blockGenerations, (std::vector<uint32_t>{2, 2}));
    EXPECT_EQ(info.docsScript, "search-index/docs-2.js");
    EXPECT_EQ(holding("ilona"), (Files{files[0], files[1], "qz1/1-004.htm"}));
    EXPECT_EQ(holding("harom"), Files{files[2]});
    // Every file of the old index goes but a damaged one without its first
    // line, which is never taken for the index's.
    for (const std::string& name : indexFiles()) {
      EXPECT_TRUE(name == "record.txt" || name.find("-2") != std::string::npos ||
                  readWholeFile(archive.path() + "/search-index/" + name)[0] == '\0')
          << name;
    }
  }
}

// Nothing of a record reaches the page or the disk unless it is a name the
// index gives: a record naming anything else does not read.
TEST(IndexRecordTest, ARecordNamesOnlyTheIndexsOwnFiles) {
  Record record;
  record.generation = 1;
  record.blockTurns = 2;
  record.nextTurn = 1;
  record.docsName = "docs-1.js";
  record.blockGenerations = {1};
  record.files = {{"docs-1.js", {10, 1, 2}}, {"b0-1-il.js", {10, 1, 3}}};
  record.turns["qz1/1-001.htm"] = {0, 5, 1, "t"};
  Record read;
  ASSERT_TRUE(readRecord(recordText(record), read));
  const struct {
    const char* what;
    void (*change)(Record&);
  } kChanges[] = {
      {"markup in the list's name",
       [](Record& r) {
         r.docsName = "docs-1.js\"><img src=x onerror=alert(1)>";
         r.files[r.docsName] = {10, 1, 2};
       }},
      {"a list that is no file of the record", [](Record& r) { r.docsName = "docs-2.js"; }},
      {"a file of another's name",
       [](Record& r) {
         r.files["../index.htm"] = {1, 1, 1};
       }},
      {"a file in flight",
       [](Record& r) {
         r.files["b0-1-zz.js.part"] = {1, 1, 1};
       }},
      {"a generation past the record's", [](Record& r) { r.blockGenerations = {2}; }},
  };
  for (const auto& c : kChanges) {
    Record changed = record;
    c.change(changed);
    EXPECT_FALSE(readRecord(recordText(changed), read)) << c.what;
  }
}

// A turn file larger than the index reads is listed with its title, and
// none of its words, however large it claims to be.
TEST_F(SearchIndexTest, ATurnTooLargeToReadIsListedWithoutItsWords) {
  write("qz1/1-001.htm", "Nagy", "Ilona");
  std::filesystem::resize_file(archive / "qz1/1-001.htm", kLargestTurnRead + 1);  // sparse
  write("qz1/1-002.htm", "Kicsi", "Ilona");
  const SearchIndexUpdate done = update({"qz1/1-001.htm", "qz1/1-002.htm"});
  EXPECT_EQ(done.titles, (std::vector<std::string>{"Nagy", "Kicsi"}));
  EXPECT_EQ(done.notSearched, std::vector<std::string>{"qz1/1-001.htm"});
  EXPECT_EQ(holding("ilona"), Files{"qz1/1-002.htm"});
  EXPECT_EQ(notSearchedMessage("qz1/1-001.htm"),
            "qzturns: qz1/1-001.htm is larger than 256 MiB; index.htm lists it, but its words "
            "are not searched.\r\n");
}

TEST_F(SearchIndexTest, FilesNotItsOwnAreLeftAsTheyAre) {
  write("qz1/1-001.htm", "Els\xF5",
        "</script><script>alert(\"x\\\")</script><img src=x onerror=y>");
  // search-index a file of the user's: the titles come from the turn files.
  qztest::writeFile(archive / "search-index", "mine");
  SearchIndexUpdate none = update({"qz1/1-001.htm"});
  EXPECT_TRUE(none.info.docsScript.empty());
  EXPECT_EQ(none.titles, std::vector<std::string>{"Els\xF5"});
  EXPECT_EQ(readWholeFile(archive.path() + "/search-index"), "mine");

  std::filesystem::remove(archive / "search-index");
  std::filesystem::create_directory(archive / "search-index");
  qztest::writeFile(archive / "search-index/record.txt", "my notes\n");
  EXPECT_TRUE(update({"qz1/1-001.htm"}).info.docsScript.empty());
  EXPECT_EQ(indexFiles(), Files{"record.txt"});
  // A folder of the user's with no record, and a link to a folder elsewhere
  // (another archive's index among them), are not written in either.
  std::filesystem::remove(archive / "search-index/record.txt");
  qztest::writeFile(archive / "search-index/notes.txt", "mine");
  EXPECT_TRUE(update({"qz1/1-001.htm"}).info.docsScript.empty());
  EXPECT_EQ(indexFiles(), Files{"notes.txt"});
  std::filesystem::remove_all(archive / "search-index");
#ifndef _WIN32  // a link as POSIX makes it; Windows' own kinds are not made here
  qztest::TempFolder elsewhere;
  std::filesystem::create_directory_symlink(elsewhere.path(), archive / "search-index");
  EXPECT_TRUE(update({"qz1/1-001.htm"}).info.docsScript.empty());
  EXPECT_TRUE(std::filesystem::is_empty(elsewhere.path()));
  std::filesystem::remove(archive / "search-index");
#endif

  // Beside an index of its own: files of other names, and of its names
  // without its first line (".part" ones too), are never removed.
  // A first run killed before its record landed left its files: the folder
  // is the index's.
  std::filesystem::create_directory(archive / "search-index");
  qztest::writeFile(archive / "search-index/record.txt.part", "qzturns search index 2\n");
  qztest::writeFile(archive / "search-index/b0-0-zz.js", "mine");
  qztest::writeFile(archive / "search-index/b0-1-zz.js.part", "mine");
  EXPECT_FALSE(update({"qz1/1-001.htm"}).info.docsScript.empty());
  qztest::writeFile(archive / "search-index/notes.txt", "mine");
  write("qz1/1-002.htm", "K\xE9t", "ketto");
  update({"qz1/1-001.htm", "qz1/1-002.htm"});
  EXPECT_EQ(readWholeFile(archive.path() + "/search-index/notes.txt"), "mine");
  EXPECT_EQ(readWholeFile(archive.path() + "/search-index/b0-0-zz.js"), "mine");
  EXPECT_EQ(readWholeFile(archive.path() + "/search-index/b0-1-zz.js.part"), "mine");
  // Whatever a turn holds, the index holds letters, digits and its own
  // signs only: nothing in it can end its script or start markup.
  for (const std::string& name : indexFiles()) {
    std::string_view text;
    if (name.size() > 3 && name.substr(name.size() - 3) == ".js" && name != "b0-0-zz.js") {
      EXPECT_TRUE(shardText(readWholeFile(archive.path() + "/search-index/" + name), text)) << name;
    }
  }
  EXPECT_EQ(holding("script"), Files{});
  EXPECT_EQ(holding("onerror"), Files{});
}

}  // namespace
}  // namespace qz
