// The fixture of the crawl's rules, run in this process: the whole crawl of
// a run (crawlSite) in a fresh working folder, against a ScriptedFetcher
// whose pages the test sets. The page builders are the end-to-end tests'.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fetch/fetcher.h"
#include "run/run_state.h"
#include "scripted_fetcher.h"
#include "site_fixture.h"

namespace qztest {

class CrawlTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  struct Result {
    std::string out;  // standard output, byte for byte
    qz::FailedFetches failed;
    qz::RunState state;  // as the run left it
  };
  // A run with these arguments, in the working folder.
  Result run(std::vector<std::string> arguments = {});

  std::string saved(const std::string& name) { return readFile(work / name); }
  bool has(const std::string& name) { return exists(work / name); }
  // A character page for c with the given turns (numbered keys), each turn
  // page showing "turn <c>/<k>".
  void serveCharacter(const std::string& c, const std::vector<std::string>& keys);

  ScriptedFetcher site;
  TempFolder work;
  bool recheckEmpty = false;  // QZTURNS_RECHECK_EMPTY for the runs

 private:
  std::string home_;
};

}  // namespace qztest
