// Prints what the reader page costs for a large archive: 100,000 turn files
// (1,000 characters of 100 turns, each file's head holding its title) made
// in a temporary folder, then the page made from them, timed, with the
// process's peak memory and the page's bytes per turn. With a folder given,
// the archive is made there and kept, for the browser half of the bench
// (search_browser.py times the page's opening).
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "reader/archive_reader.h"
#include "run/local_files.h"

int main(int argc, char** argv) {
  const int kCharacters = 1000;
  const int kTurns = 100;
  char pattern[] = "/tmp/qzturns-reader-bench-XXXXXX";
  const bool keep = argc > 1;
  const std::string folder = keep ? argv[1] : ::mkdtemp(pattern);
  std::filesystem::create_directories(folder);
  const std::string body(800, 'x');
  for (int c = 0; c < kCharacters; ++c) {
    std::string number = std::to_string(2000 + c);
    std::filesystem::create_directory(folder + "/qz" + number);
    for (int t = 1; t <= kTurns; ++t) {
      std::string key = std::to_string(t);
      key = std::string(key.size() < 3 ? 3 - key.size() : 0, '0') + key;
      std::ofstream(folder + "/qz" + number + "/" + number + "-" + key + ".htm")
          << "<META http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1250\">\n"
          << "<TITLE>QZ" << number << " " << t << ". fordul\xF3</TITLE></HEAD><BODY>\n"
          << body << "\n";
    }
  }
  struct rusage before;
  ::getrusage(RUSAGE_SELF, &before);
  auto start = std::chrono::steady_clock::now();
  qz::writeReaderPage(folder, {});
  std::string page = qz::readWholeFile(folder + "/" + qz::kReaderFileName);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  struct rusage after;
  ::getrusage(RUSAGE_SELF, &after);
  const int turns = kCharacters * kTurns;
  std::printf(
      "reader page: %d turn files, %.2f s, peak memory %.1f MiB (%.1f MiB before), "
      "%.1f MB of page = %.0f bytes per turn\n",
      turns, seconds, after.ru_maxrss / 1024.0, before.ru_maxrss / 1024.0, page.size() / 1e6,
      static_cast<double>(page.size()) / turns);
  if (!keep) {
    std::filesystem::remove_all(folder);
  }
  return 0;
}
