#include "page/fetch_page.h"

#include "run/local_files.h"

namespace qz {

bool fetchPage(Fetcher& fetcher, const std::string& url, const std::string& fileName,
               std::chrono::steady_clock::time_point* sentAt, Purpose purpose) {
  std::string body;
  if (!fetcher.fetch(url, purpose, &body, sentAt)) {
    return false;
  }
  // The temp file is a local file like any other: a folder that cannot
  // take it ends the run rather than pass for a site with nothing new.
  overwriteFile(fileName, body);
  return true;
}

}  // namespace qz
