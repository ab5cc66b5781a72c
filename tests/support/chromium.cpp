#include "chromium.h"

#include <cstdio>
#include <memory>

#include "temp_folder.h"

namespace qztest {

std::string domInChromium(const std::string& url, bool fileAccess) {
  TempFolder profile;
  std::string command =
      "chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
      "--disable-background-networking --disable-component-update --disable-sync " +
      std::string(fileAccess ? "--allow-file-access-from-files " : "") +
      "--virtual-time-budget=5000 --user-data-dir=" + profile.path() + " --dump-dom '" + url +
      "' 2>/dev/null";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
  std::string dom;
  char buffer[4096];
  while (pipe != nullptr && !std::feof(pipe.get())) {
    size_t got = std::fread(buffer, 1, sizeof buffer, pipe.get());
    dom.append(buffer, got);
  }
  return dom;
}

std::string seenIn(const std::string& dom) {
  size_t start = dom.find("<pre id=\"seen\">");
  if (start == std::string::npos) {
    return "Chromium gave: " + dom.substr(0, 300);
  }
  start += 15;
  return dom.substr(start, dom.find("</pre>", start) - start);
}

}  // namespace qztest
