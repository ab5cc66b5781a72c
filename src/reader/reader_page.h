// The reader page's text: index.htm around the data of the characters and
// turns that archive_reader.cpp finds on disk, with the page's scripts and
// style (src/reader/web/) put in as they stand.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "search/search_index.h"

namespace qz {

// The first line of every reader this program writes: a file of that name
// without it is somebody else's, and is never overwritten.
inline constexpr std::string_view kReaderMarker = "<!-- qzturns archive reader -->";

struct ReaderTurn {
  std::string key;
  std::string file;   // "qz1234/1234-007.htm", with "/" on every system
  std::string title;  // HTML as the turn file has it, line breaks made spaces
  bool empty = false;
  bool isNew = false;
  unsigned long long size = 0;
  long long modified = 0;
};

struct ReaderCharacter {
  std::string number;
  std::vector<ReaderTurn> turns;  // in the order the page lists them
  int added = 0;
};

// The whole page, in the turn files' code page (Windows-1250), with the
// characters in the order given. Every name goes into an address
// percent-encoded, into markup HTML-escaped and into the page's data as a
// script's string, so that any name a folder can hold stands for its own
// file. The page searches the index that search names.
std::string renderReaderPage(const std::vector<ReaderCharacter>& characters,
                             const SearchIndexInfo& search);

// A relative path as an address the browser opens from file:// as that very
// file: every byte percent-encoded but letters, digits, "-._~", the slashes
// and the comma of oli keys, so that no "#", "?" or "%" in a name is read
// as anything but part of it, and bytes past ASCII reach the disk as they
// are rather than in the page's code page.
std::string addressOf(std::string_view path);

}  // namespace qz
