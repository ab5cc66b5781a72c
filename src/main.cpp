// qzturns: keeps a local archive of the public turns of one game's characters.
// Usage: qzturns [character-number] | --help | --version
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "crawl/archive_reader.h"
#include "crawl/character_roster.h"
#include "crawl/character_step.h"
#include "page/client_settings.h"
#include "page/fetch_page.h"
#include "page/site_session.h"
#include "page/site_urls.h"
#include "run/folder_lock.h"
#include "run/process_setup.h"
#include "run/run_driver.h"
#include "run/run_error.h"
#include "run/settings.h"

namespace {

int run(int argc, char** argv) {
  std::vector<std::string> arguments = qz::runArguments(argc, argv);
  if (arguments.size() == 1 && qz::isHelpArgument(arguments[0])) {
    return qz::writeHelp(arguments[0]);
  }

  qz::RunState state;
  std::string complaint, warning;
  bool writeReader = true;
  if (!qz::siteBaseUrlFromEnvironment(&state.baseUrl, &complaint) ||
      !qz::setConnectionsFromEnvironment(&complaint) ||
      !qz::setCertificateCheckFromEnvironment(&complaint, &warning) ||
      !qz::readSwitch(qz::kIndexVariable, true, &writeReader, &complaint) ||
      !qz::readSwitch(qz::kRecheckEmptyVariable, false, &state.recheckEmpty, &complaint)) {
    std::fputs((complaint + "\r\n").c_str(), stderr);
    return 2;
  }
  if (qz::lockWorkingFolder(state.tempFileName) == qz::FolderLock::kTakenByOther) {
    std::fputs(qz::kFolderInUseMessage, stderr);
    return 2;
  }
  if (!warning.empty()) {
    std::fputs((warning + "\r\n").c_str(), stderr);
  }
  qz::writeBanner();
  qz::visitFrontPage(state);
  if (arguments.size() == 1) {
    qz::archiveCharacter(state, arguments[0], qz::WithoutTurns::kNothingMore);
  } else {
    qz::collectAllCharacters(state);
  }
  int status = qz::finishRun(state);
  // Standard output stays as it always was; what it cannot say goes here.
  std::fputs(qz::failureReport(state.baseUrl).c_str(), stderr);
  if (writeReader && !qz::writeReader(state.savedTurnFiles)) {
    std::fputs(qz::kForeignReaderMessage, stderr);
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  qz::setUpProcess();
  qz::setModuleName(argc > 0 ? argv[0] : "qzturns");
  try {
    return run(argc, argv);
  } catch (...) {
    // The turn files of the batch in hand were kept as the exception went.
    qz::endRunOnException(std::current_exception());
  }
}
