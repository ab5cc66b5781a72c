// A turn file as the archive keeps it: the page from its <META on, with its
// title and text.
#pragma once

#include <string>

namespace qztest {

inline std::string turnFile(const std::string& title, const std::string& text = "...") {
  return "<META http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1250\">\n"
         "<TITLE>" +
         title + "</TITLE></HEAD><BODY>\n<P>" + text + "</P>\n";
}

}  // namespace qztest
