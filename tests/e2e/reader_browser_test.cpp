// The reader page in a real browser: headless Chromium opens it from file://
// at a turn named by its fragment, and steps through the character's turns.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "site_fixture.h"

namespace qztest {
namespace {

class ReaderBrowserTest : public SiteTest {};

std::string turnPageTitled(const std::string& title) {
  return "<HTML><HEAD>\r\n<META http-equiv=\"Content-Type\" content=\"text/html; "
         "charset=windows-1250\">\r\n<TITLE>" +
         title + "</TITLE></HEAD><BODY>\r\n<P>" + title + "</P>\r\n" + kEndMarker +
         " karakternek')</SCRIPT>\r\n</BODY></HTML>\r\n";
}

// What the page shows as it is used: the pane's file and the title of the
// document in it when opened, then the pane's file after "next" is clicked,
// and after the left arrow is pressed twice, and the address's fragment.
const std::string kDriver = R"(<script>
window.addEventListener('load', function () {
  var pane = document.getElementById('pane');
  var seen = [pane.getAttribute('src'), pane.contentDocument.title];
  document.getElementById('next').click();
  seen.push(pane.getAttribute('src'));
  for (var i = 0; i < 2; i++)
    document.dispatchEvent(new KeyboardEvent('keydown', {key: 'ArrowLeft', bubbles: true}));
  seen.push(pane.getAttribute('src'));
  seen.push(decodeURIComponent(location.hash));
  var out = document.createElement('pre');
  out.id = 'seen';
  out.textContent = seen.join('|');
  document.body.appendChild(out);
});
</script>
)";

// The page's DOM once loaded in headless Chromium; empty when it could not run.
std::string domInChromium(const std::string& url, const std::string& profile) {
  std::string command =
      "chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
      "--disable-background-networking --disable-component-update --disable-sync "
      "--allow-file-access-from-files --virtual-time-budget=5000 --user-data-dir=" +
      profile + " --dump-dom '" + url + "' 2>/dev/null";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
  std::string dom;
  char buffer[4096];
  while (pipe != nullptr && !std::feof(pipe.get())) {
    size_t got = std::fread(buffer, 1, sizeof buffer, pipe.get());
    dom.append(buffer, got);
  }
  return dom;
}

TEST_F(ReaderBrowserTest, OpensAtATurnByItsFragmentAndStepsThroughTheTurns) {
  if (underLauncher()) {
    GTEST_SKIP() << "the page is the same whichever build wrote it";
  }
  site.serve(kFrontPage, page("front"));
  site.serve(characterTarget("1001"),
             page(characterPage({"1,0,0,0", "2,0,0,0", "3,0,0,0", "0,0,3,15"})));
  for (const char* k : {"1", "2", "3"}) {
    site.serve(turnTarget("1001", k), page(turnPageTitled(std::string("Fordulo ") + k)));
  }
  site.serve(oliTarget("1001", "3,15"), page(turnPageTitled("Oli")));
  ProgramOptions o = options({"1001"});
  o.environment = {};  // the reader on, as a user has it
  ASSERT_EQ(runProgram(o).exitStatus, 0);
  writeFile(work / "driven.htm", saved("index.htm") + kDriver);

  TempFolder profile;
  std::string dom =
      domInChromium("file://" + work.path() + "/driven.htm#qz1001/1001-003.htm", profile.path());
  size_t start = dom.find("<pre id=\"seen\">");
  ASSERT_NE(start, std::string::npos) << "Chromium gave: " << dom.substr(0, 300);
  start += 15;
  EXPECT_EQ(dom.substr(start, dom.find("</pre>", start) - start),
            "qz1001/1001-003.htm|Fordulo 3|qz1001/1001-ol3,15.htm|qz1001/1001-002.htm|"
            "#qz1001/1001-002.htm");
}

}  // namespace
}  // namespace qztest
