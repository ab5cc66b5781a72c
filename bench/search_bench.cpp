// Prints what the search index costs for a large archive, and leaves that
// archive for the browser half of the bench (search_browser.py): FOLDER
// (the first argument) is filled with CHARACTERS x TURNS turn files of
// 20-60 KB in Windows-1250, the game's markup around text drawn from a
// Zipf vocabulary of Hungarian-looking words; then the reader page and its
// index are made from scratch, timed, with peak memory and the index's size
// against the turn files'; then 100 turns are added and the update timed.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "reader/archive_reader.h"
#include "search/search_text.h"

namespace {

// Syllables with the accents of the language, as Windows-1250 bytes.
const char* const kSyllables[] = {
    "a",   "e",   "i",     "o",     "u",   "\xE1", "\xE9",  "\xF6",  "\xF5",   "\xFC", "\xFB",
    "ba",  "be",  "ke",    "k\xF6", "ta",  "te",   "ro",    "r\xF6", "s\xE1",  "szo",  "gy\xF6",
    "ny",  "va",  "v\xF6", "ma",    "me",  "la",   "l\xE9", "zs",    "cs\xF3", "tor",  "ony",
    "ban", "ben", "nak",   "nek",   "ilo", "na",   "hoz",   "r\xF3", "t\xFA",  "ol",   "al"};

class Words {
 public:
  explicit Words(size_t count) : cumulative_(count) {
    std::mt19937 make(7);
    double sum = 0;
    for (size_t r = 0; r < count; ++r) {
      std::string word;
      for (int s = 0, n = 1 + static_cast<int>(make() % 4); s < n; ++s) {
        word += kSyllables[make() % (sizeof kSyllables / sizeof *kSyllables)];
      }
      words_.push_back(r == 0   ? "a"
                       : r == 1 ? "az"
                                : word + (r % 3 == 0 ? "" : std::to_string(r % 97)));
      sum += 1.0 / static_cast<double>(r + 1);
      cumulative_[r] = sum;
    }
    for (double& c : cumulative_) {
      c /= sum;
    }
  }
  const std::string& pick(std::mt19937& random) const {
    double at = std::uniform_real_distribution<double>(0, 1)(random);
    size_t rank =
        std::lower_bound(cumulative_.begin(), cumulative_.end(), at) - cumulative_.begin();
    return words_[std::min(rank, words_.size() - 1)];
  }
  const std::string& at(size_t rank) const { return words_[rank]; }

 private:
  std::vector<std::string> words_;
  std::vector<double> cumulative_;
};

std::string turnFile(const Words& words, std::mt19937& random, const std::string& number, int t) {
  const size_t size = 20000 + random() % 40000;
  std::string file =
      "<META http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1250\">\n"
      "<TITLE>QZ" +
      number + " " + std::to_string(t) +
      ". fordul\xF3</TITLE>\n<STYLE>td{font-family:Verdana;font-size:11px}.nev{color:#603}"
      "</STYLE></HEAD>\n<BODY BGCOLOR=#F0E8D8 TEXT=#301000>\n";
  while (file.size() < size) {
    file +=
        "<TABLE WIDTH=\"100%\" BORDER=0 CELLPADDING=2 CELLSPACING=0><TR><TD WIDTH=64 "
        "VALIGN=TOP><IMG SRC=\"/kepek/avatar" +
        std::to_string(random() % 500) +
        ".gif\" WIDTH=60 HEIGHT=60 ALT=\"\"></TD><TD VALIGN=TOP CLASS=\"szoveg\"><FONT "
        "FACE=\"Verdana\" SIZE=2 COLOR=#402010><B CLASS=\"nev\">";
    std::string name = words.pick(random);
    name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    file += name + "</B>:<BR>\n";
    for (int w = 0, n = 40 + static_cast<int>(random() % 120); w < n; ++w) {
      file += words.pick(random);
      const unsigned r = random() % 40;
      file += r == 0 ? ".<BR>\n" : r == 1 ? ", " : r == 2 ? "&nbsp;" : r == 3 ? "! " : " ";
    }
    file += "</FONT></TD></TR></TABLE>\n<HR SIZE=1 NOSHADE COLOR=#C0A080>\n";
  }
  return file;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

unsigned long long bytesUnder(const std::filesystem::path& folder) {
  unsigned long long bytes = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    bytes += entry.is_regular_file() ? entry.file_size() : 0;
  }
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: search_bench FOLDER\n");
    return 2;
  }
  const std::string folder = argv[1];
  const int characters = std::getenv("CHARACTERS") ? std::atoi(std::getenv("CHARACTERS")) : 1000;
  const int turns = std::getenv("TURNS") ? std::atoi(std::getenv("TURNS")) : 100;
  const Words words(150000);
  std::mt19937 random(1);
  auto write = [&](int c, int t) {
    const std::string number = std::to_string(2000 + c);
    std::string key = std::to_string(t);
    key = std::string(key.size() < 3 ? 3 - key.size() : 0, '0') + key;
    std::filesystem::create_directories(folder + "/qz" + number);
    std::ofstream(folder + "/qz" + number + "/" + number + "-" + key + ".htm", std::ios::binary)
        << turnFile(words, random, number, t);
    return "qz" + number + "/" + number + "-" + key + ".htm";
  };
  for (int c = 0; c < characters; ++c) {
    for (int t = 1; t <= turns; ++t) {
      write(c, t);
    }
  }
  // The queries of the browser half, one to a line: a common word, a rare
  // one, a prefix, and a phrase of two words that follow one another in the
  // first turn written (made again from the same seed).
  {
    std::mt19937 again(1);
    std::vector<std::string> first;
    qz::forEachWord(turnFile(words, again, "2000", 1),
                    [&](std::string_view word) { first.emplace_back(word); });
    std::ofstream(folder + ".words", std::ios::binary)
        << words.at(0) << "\n"
        << words.at(40000) << "\n"
        << words.at(100).substr(0, 3) << "\n\"" << first.at(3) << " " << first.at(4) << "\"\n";
  }
  const unsigned long long turnBytes = bytesUnder(folder);
  std::printf("search index: %d turn files, %.1f MB; words \"%s\" (rank 1), \"%s\" (rank 40000)\n",
              characters * turns, turnBytes / 1e6, words.at(0).c_str(), words.at(40000).c_str());
  std::fflush(stdout);

  // The turn files reach the disk before the clock starts, so that the
  // index is not timed against their write-back.
  ::sync();
  struct rusage usage;
  ::getrusage(RUSAGE_SELF, &usage);
  const double before = usage.ru_maxrss / 1024.0;
  auto start = std::chrono::steady_clock::now();
  qz::writeReaderPage(folder, {});
  const double scratch = secondsSince(start);
  ::getrusage(RUSAGE_SELF, &usage);
  const unsigned long long indexBytes = bytesUnder(folder + "/search-index");
  std::printf("  from scratch: %.1f s, peak memory %.1f MiB (%.1f MiB before)\n", scratch,
              usage.ru_maxrss / 1024.0, before);
  std::printf("  index: %.1f MB = %.1f %% of the turn files\n", indexBytes / 1e6,
              100.0 * indexBytes / turnBytes);

  std::vector<std::string> added;
  for (int c = 0; c < 100; ++c) {
    added.push_back(write(c * characters / 100, turns + 1));
  }
  start = std::chrono::steady_clock::now();
  qz::writeReaderPage(folder, added);
  std::printf("  100 turns added: %.2f s\n", secondsSince(start));
  start = std::chrono::steady_clock::now();
  qz::writeReaderPage(folder, {});
  std::printf("  nothing new: %.2f s\n", secondsSince(start));
  return 0;
}
