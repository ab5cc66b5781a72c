#include "run/run_driver.h"

#include "run/console.h"
#include "version.h"

namespace qz {

std::vector<std::string> runArguments(int argc, char** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    if (argv[i][0] != '\0') {
      arguments.emplace_back(argv[i]);
    }
  }
  return arguments;
}

namespace {

// The usage text, in the pieces between which the platform's own lines go.
constexpr const char* kUsageHead[] = {
    "qzturns keeps a local archive of the public turns of the characters of one",
    "play-by-web game: it saves each public turn as an .htm file, one folder per",
    "character, in the folder it is run in. A turn already saved is never fetched",
    "again, so each run fetches only what is new.",
    "",
    "Usage:",
    "  qzturns           every character of the site's public listing",
    "  qzturns NUMBER    only the character NUMBER (with two or more",
    "                    arguments, every character, as with none)",
    "  qzturns --help    this text;  qzturns --version  the version",
    "",
    "Settings, by environment variable:",
    "  QZTURNS_BASE_URL           the game site's address, such as",
    "                             http://www.example.hu (required)",
    "  QZTURNS_CONNECTIONS        requests in flight at once, 1 (the default) to 8",
    "  QZTURNS_INDEX              1 (the default) writes the reader page index.htm",
    "                             and its search index search-index at the end of",
    "                             every run, 0 does neither",
    "  QZTURNS_RECHECK_EMPTY      1 asks again for turns whose file is empty, 0",
    "                             (the default) counts an empty file as saved",
};
constexpr const char* kAuthorityFileLines[] = {
    "  QZTURNS_CA_FILE            a PEM file of the certificates to trust an https",
    "                             site by, instead of the system's",
};
// Where the client takes neither a file of certificates nor the proxy
// variables (WinHTTP).
constexpr const char* kStoreLines[] = {
    "  QZTURNS_CA_FILE            not on Windows: add the certificate of the site's",
    "                             authority to your store (README-windows.txt)",
};
constexpr const char* kCertificateCheckLines[] = {
    "  QZTURNS_CHECK_CERTIFICATE  0 fetches an https site without checking its",
    "                             certificate, 1 (the default) checks it",
    "",
};
constexpr const char* kProxyVariablesLines[] = {
    "Proxies: http_proxy, https_proxy, all_proxy and no_proxy, as curl reads them.",
};
constexpr const char* kSystemProxyLines[] = {
    "Proxies: the system's, as set in Windows' proxy settings.",
};
constexpr const char* kUsageTail[] = {
    "",
    "A run that stops or fails is simply run again: it goes on from what is saved.",
    "",
    "Exit status: 0 the run reached its summary line; 1 a local file could not be",
    "written or read, or the run met a failure it could not go on from (it says",
    "which on standard error); 2 a setting is wrong or another run is using this",
    "folder.",
};

template <size_t N>
void writeLines(const char* const (&lines)[N]) {
  for (const char* line : lines) {
    consoleWrite(line);
    consoleWriteLineEnd();
  }
}

}  // namespace

bool isHelpArgument(const std::string& argument) {
  return argument == "--help" || argument == "-h" || argument == "/?" || argument == "--version";
}

std::string unknownOptionComplaint(const std::vector<std::string>& arguments) {
  for (const std::string& argument : arguments) {
    if (argument[0] == '-' && !isHelpArgument(argument)) {
      return "qzturns: unknown option \"" + argument + "\"; qzturns --help lists them.";
    }
  }
  return {};
}

int writeHelp(const std::string& argument, bool authorityFileSupported) {
  if (argument == "--version") {
    consoleWrite(std::string("qzturns ") + kVersion);
    consoleWriteLineEnd();
  } else {
    writeLines(kUsageHead);
    writeLines(authorityFileSupported ? kAuthorityFileLines : kStoreLines);
    writeLines(kCertificateCheckLines);
    writeLines(authorityFileSupported ? kProxyVariablesLines : kSystemProxyLines);
    writeLines(kUsageTail);
  }
  consoleFlush();
  return 0;
}

void writeBanner() {
  consoleWrite("Nyilvanos qz fordulok letoltese v1.2");
  consoleWriteLineEnd();
  consoleWriteLineEnd();
}

int finishRun(const RunState& state) {
  // The line end closes the progress counter's line, or makes an empty one.
  consoleWriteLineEnd();
  consoleWrite("Atlepve: ");
  consoleWriteInt(state.skippedCount);
  consoleWrite(" Letoltve: ");
  consoleWriteInt(state.fetchedCount);
  consoleWriteLineEnd();
  consoleFlush();
  return 0;
}

}  // namespace qz
