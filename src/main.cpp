// qzturns: keeps a local archive of the public turns of one game's characters.
// Usage: qzturns [character-number] | --help | --version
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "crawl/character_roster.h"
#include "crawl/site_crawl.h"
#include "fetch/failure_report.h"
#include "fetch/http_fetcher.h"
#include "http/transport.h"
#include "page/settings.h"
#include "reader/archive_reader.h"
#include "run/folder_lock.h"
#include "run/process_setup.h"
#include "run/run_driver.h"
#include "run/run_error.h"
#include "search/search_index.h"

namespace {

int run(int argc, char** argv, std::unique_ptr<qz::Fetcher>& fetcher) {
  std::vector<std::string> arguments = qz::runArguments(argc, argv);
  if (arguments.size() == 1 && qz::isHelpArgument(arguments[0])) {
    return qz::writeHelp(arguments[0], qz::Transport::authorityFileSupported());
  }
  if (std::string complaint = qz::unknownOptionComplaint(arguments); !complaint.empty()) {
    std::fputs((complaint + "\r\n").c_str(), stderr);
    return 2;
  }

  qz::Settings settings;
  std::string complaint;
  if (!qz::readSettings(&settings, &complaint)) {
    std::fputs(("qzturns: " + complaint + "\r\n").c_str(), stderr);
    return 2;
  }
  qz::RunState state;
  state.baseUrl = settings.baseUrl;
  state.recheckEmpty = settings.recheckEmpty;
  if (qz::lockWorkingFolder(state.tempFileName) == qz::FolderLock::kTakenByOther) {
    std::fputs(qz::kFolderInUseMessage, stderr);
    return 2;
  }
  if (std::string warning = qz::settingsWarning(settings); !warning.empty()) {
    // Said once, before anything is fetched.
    std::fputs((warning + "\r\n").c_str(), stderr);
  }
  fetcher = std::make_unique<qz::HttpFetcher>(qz::fetcherSettings(settings));

  int status = qz::crawlSite(state, *fetcher, arguments);
  // Standard output stays as it always was; what it cannot say goes here.
  qz::ReportNotes notes;
  notes.sessionNotKept = state.renewals.everPaused;
  notes.authorityFileSet = !settings.authorityFile.empty();
  std::fputs(qz::failureReport(fetcher->failures(), state.baseUrl, notes).c_str(), stderr);
  if (state.listingCut) {
    std::fputs(qz::kListingCutNote, stderr);
  }
  if (settings.writeReader) {
    qz::ReaderNotes notes;
    const qz::ReaderOutcome outcome = qz::writeReaderPage(".", state.savedTurnFiles, &notes);
    std::fputs(qz::readerNotesText(notes).c_str(), stderr);
    // A file of the reader that could not be written is a local file
    // failure too, told in its own line once the turns are saved.
    if (notes.indexFailure != 0 || notes.pageFailure != 0) {
      status = 1;
    }
    switch (outcome) {
      case qz::ReaderOutcome::kForeignPage:
        std::fputs(qz::kForeignReaderMessage, stderr);
        break;
      case qz::ReaderOutcome::kWrittenWithoutSearch:
        if (notes.indexFailure == 0) {
          std::fputs(qz::kForeignSearchMessage, stderr);
        }
        break;
      case qz::ReaderOutcome::kPageFailed:
      case qz::ReaderOutcome::kWritten:
        break;
    }
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  qz::setUpProcess();
  qz::setModuleName(argc > 0 ? argv[0] : "qzturns");
  // Made by the run, and kept past the one catch below: a run that ends
  // early exits there, not waiting for the requests still under way.
  std::unique_ptr<qz::Fetcher> fetcher;
  try {
    return run(argc, argv, fetcher);
  } catch (...) {
    // A file failure, or anything else that escaped the run. The turn files
    // of the batch in hand were kept as the exception went.
    qz::endRunOnException(std::current_exception());
  }
}
