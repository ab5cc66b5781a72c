// Prints, as JSON on standard output, what the page's scripts must agree
// with the program on, for the node tests beside this file: the constants
// the page is given, the fold of every code point up to U+02FF, the bucket
// of a few thousand words, numbers of every length, the names of a few
// generations, and an index of several blocks (written into the folder
// given, a turn changed and one removed after the first run) with the
// turns that each query of a table must find, worked out from the words of
// the turn files.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "reader/search_page.h"
#include "search/block_index.h"
#include "search/index_names.h"
#include "search/search_index.h"
#include "search/search_text.h"

namespace {

using namespace qz;

std::string json(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
    }
    out += c;
  }
  return out + "\"";
}

std::vector<std::string> wordsOf(const std::string& bytes) {
  std::vector<std::string> words;
  forEachWord(bytes, [&](std::string_view word) { words.emplace_back(word); });
  return words;
}

// A query as the page parses it, and whether a turn of these words holds it.
struct Query {
  std::string text;  // UTF-8, as typed
  std::vector<std::string> words;
  std::string prefix;
  std::vector<std::vector<std::string>> phrases;

  bool heldBy(const std::vector<std::string>& turn) const {
    auto has = [&](const std::string& word) {
      return std::find(turn.begin(), turn.end(), word) != turn.end();
    };
    for (const std::string& word : words) {
      if (!has(word)) {
        return false;
      }
    }
    if (!prefix.empty() && std::none_of(turn.begin(), turn.end(), [&](const std::string& w) {
          return w.starts_with(prefix);
        })) {
      return false;
    }
    for (const auto& phrase : phrases) {
      bool found = false;
      for (size_t at = 0; !found && at + phrase.size() <= turn.size(); ++at) {
        found = std::equal(phrase.begin(), phrase.end(), turn.begin() + at);
      }
      if (!found) {
        return false;
      }
    }
    return true;
  }
};

std::string turnFile(const std::string& title, const std::string& text) {
  return "<META http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1250\">\n<TITLE>" +
         title + "</TITLE></HEAD><BODY>\n<P>" + text + "</P>\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: script_vectors FOLDER\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::string out = "{\"constants\": " + json(pageConstants()) + ",\n\"folds\": [";
  for (uint32_t code = 0; code <= 0x2FF; ++code) {
    std::string fold;
    out += code ? "," : "";
    out += appendFolded(code, fold) ? json(fold) : "null";
  }
  out += "],\n\"buckets\": [";
  for (int i = 0; i < 3000; ++i) {
    std::string word;
    for (int n = i * 7919 + 1; n > 0; n /= 36) {
      word += "abcdefghijklmnopqrstuvwxyz0123456789"[n % 36];
    }
    out += (i ? ",[" : "[") + json(word) + "," + std::to_string(placeBucket(word)) + "]";
  }
  out += "],\n\"numbers\": [";
  std::vector<uint32_t> values = {0, 1, 31, 32, 33};
  for (int bits = 6; bits <= 32; ++bits) {
    const uint64_t top = (uint64_t{1} << bits) - 1;
    values.push_back(static_cast<uint32_t>(top));
    values.push_back(static_cast<uint32_t>(top / 2 + 1));
  }
  for (size_t i = 0; i < values.size(); ++i) {
    std::string text;
    appendNumber(text, values[i]);
    out += (i ? ",[" : "[") + std::to_string(values[i]) + "," + json(text) + "]";
  }
  out += "],\n\"names\": [";
  for (uint32_t generation : {0u, 1u, 9u, 10u, 4294967295u}) {
    for (uint32_t block : {0u, 7u, 12u}) {
      out += generation || block ? ",[" : "[";
      out += std::to_string(block) + "," + std::to_string(generation) + "," +
             json(scriptName(turnsFile(block, generation, "vo"))) + "," +
             json(scriptName(placesFile(block, generation, placeBucket("voros")))) + "]";
    }
  }

  // Seven turns in blocks of two, then one changed and one removed.
  const std::vector<std::pair<std::string, std::string>> first = {
      {"qz1/1-001.htm", "Ilona a V\xF6r\xF6s toronyban v\xE1rt"},
      {"qz1/1-002.htm", "A torony v\xF6r\xF6s volt, Ilona"},
      {"qz1/1-003.htm", "kimarad"},
      {"qz2/2-001.htm", "V&ouml;r&ouml;s torony &#337;rs&eacute;g"},
      {"qz2/2-002.htm", "torony a v\xF6r\xF6s mellett"},
      {"qz2/2-003.htm", "Ilon\xE1val ment"},
      {"qz3/3-001.htm", "v\xF6r\xF6s v\xF6r\xF6s torony torony"},
  };
  auto write = [&](const std::string& file, const std::string& text) {
    std::filesystem::create_directories((folder / file).parent_path());
    std::ofstream(folder / file, std::ios::binary) << turnFile("t", text);
  };
  auto index = [&] {
    std::vector<TurnFile> turns;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
      const std::string file = std::filesystem::relative(entry.path(), folder).generic_string();
      if (entry.is_regular_file() && file.ends_with(".htm") && !file.starts_with("search-index")) {
        turns.push_back({file, file, entry.file_size(), 1});
      }
    }
    std::sort(turns.begin(), turns.end(),
              [](const TurnFile& a, const TurnFile& b) { return a.file < b.file; });
    return updateSearchIndex(
        folder.string(), turns, (folder / "page.htm").string(),
        [](const SearchIndexUpdate&) { return std::string(); }, 2);
  };
  for (const auto& [file, text] : first) {
    write(file, text);
  }
  index();
  write("qz1/1-002.htm", "Ilona elment, a torony maradt");
  std::filesystem::remove(folder / "qz1/1-003.htm");
  const SearchIndexUpdate update = index();

  out += "],\n\"index\": {\"folder\": " + json(folder.string()) +
         ", \"docs\": " + json(update.info.docsScript) +
         ", \"blockTurns\": " + std::to_string(update.info.blockTurns) + ", \"generations\": [";
  for (size_t b = 0; b < update.info.blockGenerations.size(); ++b) {
    out += (b ? "," : "") + std::to_string(update.info.blockGenerations[b]);
  }
  out += "]},\n\"queries\": [";
  const std::vector<Query> queries = {
      {"ilona ", {"ilona"}, "", {}},
      {"Ilon", {}, "ilon", {}},
      {"\"v\xC3\xB6r\xC3\xB6s torony\"", {"voros", "torony"}, "", {{"voros", "torony"}}},
      {"\"torony v\xC3\xB6r\xC3\xB6s\" ", {"torony", "voros"}, "", {{"torony", "voros"}}},
      {"VOROS tor", {"voros"}, "tor", {}},
      {"\xC5\x91rs\xC3\xA9g ", {"orseg"}, "", {}},
      {"kimarad ", {"kimarad"}, "", {}},
      {"a \"torony maradt\" ", {"a", "torony", "maradt"}, "", {{"torony", "maradt"}}},
      {"\"a v\xC3\xB6r\xC3\xB6s toronyban\"",
       {"a", "voros", "toronyban"},
       "",
       {{"a", "voros", "toronyban"}}},
      {"torony", {}, "torony", {}},
  };
  std::vector<std::pair<std::string, std::vector<std::string>>> present;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    const std::string file = std::filesystem::relative(entry.path(), folder).generic_string();
    if (entry.is_regular_file() && file.ends_with(".htm") && file != "page.htm") {
      std::ifstream in(entry.path(), std::ios::binary);
      present.emplace_back(file, wordsOf(std::string(std::istreambuf_iterator<char>(in), {})));
    }
  }
  std::sort(present.begin(), present.end());
  for (size_t q = 0; q < queries.size(); ++q) {
    const Query& query = queries[q];
    auto list = [](const std::vector<std::string>& words) {
      std::string text = "[";
      for (size_t i = 0; i < words.size(); ++i) {
        text += (i ? "," : "") + json(words[i]);
      }
      return text + "]";
    };
    std::string phrases = "[";
    for (size_t p = 0; p < query.phrases.size(); ++p) {
      phrases += (p ? "," : "") + list(query.phrases[p]);
    }
    std::vector<std::string> found;
    for (const auto& [file, words] : present) {
      if (query.heldBy(words)) {
        found.push_back(file);
      }
    }
    out += std::string(q ? ",\n" : "\n") + "{\"text\": " + json(query.text) +
           ", \"words\": " + list(query.words) + ", \"prefix\": " + json(query.prefix) +
           ", \"phrases\": " + phrases + "], \"found\": " + list(found) + "}";
  }
  out += "]}\n";
  std::fputs(out.c_str(), stdout);
  return 0;
}
