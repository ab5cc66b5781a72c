// The reader page's own text: the HTML, CSS and script of index.htm around
// the lists of characters and turns that archive_reader.cpp finds on disk.
#pragma once

#include <string>
#include <vector>

namespace qz {

struct ReaderTurn {
  std::string key;
  std::string file;   // "qz1234/1234-007.htm", with "/" on every system
  std::string title;  // HTML as the turn file has it, line breaks made spaces
  bool empty = false;
  bool isNew = false;
};

struct ReaderCharacter {
  std::string number;
  std::vector<ReaderTurn> turns;  // in the order the page lists them
  int added = 0;
};

// The whole page, in the turn files' code page (Windows-1250), with the
// characters in the order given. Every name goes into an address
// percent-encoded and into text and attributes HTML-escaped, so that any
// name a folder can hold stands for its own file.
std::string renderReaderPage(const std::vector<ReaderCharacter>& characters);

}  // namespace qz
