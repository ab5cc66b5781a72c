// The reader page in a real browser: headless Chromium opens it from file://
// at a turn named by its fragment, and steps through the character's turns.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "chromium.h"
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

  EXPECT_EQ(seenIn(domInChromium("file://" + work.path() + "/driven.htm#qz1001/1001-003.htm")),
            "qz1001/1001-003.htm|Fordulo 3|qz1001/1001-ol3,15.htm|qz1001/1001-002.htm|"
            "#qz1001/1001-002.htm");
}

// Clicks every character and every turn of each in turn, waiting for each
// to load, and lists what it showed: the turn's key, the title of the
// document in the pane, and then the title shown first, before any click.
const std::string kClickEveryTurn = R"(<script>
window.addEventListener('load', function () {
  var pane = document.getElementById('pane');
  var seen = [pane.contentDocument ? pane.contentDocument.title : '?'];
  var characters = document.querySelectorAll('#characters a[data-c]'), c = 0, turns = [], at = 0;
  function next() {
    if (at >= turns.length) {
      if (c >= characters.length) {
        var out = document.createElement('pre');
        out.id = 'seen';
        out.textContent = seen.join('|');
        document.body.appendChild(out);
        return;
      }
      var shown = pane.getAttribute('src');
      characters[c++].click();
      turns = document.querySelectorAll('ol#turns a');
      at = 0;
      if (pane.getAttribute('src') !== shown) {  // the character's first turn, loading
        pane.onload = next;
        return;
      }
    }
    var a = turns[at++];
    if (pane.getAttribute('src') === a.getAttribute('href')) {
      seen.push(a.textContent + '=' + pane.contentDocument.title);
      next();
      return;
    }
    pane.onload = function () {
      seen.push(a.textContent + '=' + pane.contentDocument.title);
      next();
    };
    a.click();
  }
  next();
});
</script>
)";

// Names a folder can hold but an address cannot take as they stand, and a
// character folder that is a link: each opens its own file from file://,
// by a click or by the address's fragment.
TEST_F(ReaderBrowserTest, EveryNameOpensItsOwnFile) {
  if (underLauncher()) {
    GTEST_SKIP() << "the page is the same whichever build wrote it";
  }
  site.serve(kFrontPage, page("front"));
  site.serve(characterTarget("1001"), page(characterPage({})));
  ASSERT_TRUE(std::filesystem::create_directories(work / "qz1001"));
  const std::vector<std::pair<std::string, std::string>> turns = {
      {"001", "plain"},     {"7#frag", "hash"},         {"%41", "percent41"}, {"A", "letter"},
      {"%zz", "percentzz"}, {"q\"u'o<t>e&s?", "marks"}, {"\xE1", "accent"}};
  for (const auto& [key, title] : turns) {
    writeFile(work / ("qz1001/1001-" + key + ".htm"), turnPageTitled(title));
  }
  TempFolder elsewhere;
  writeFile(elsewhere / "2002-001.htm", turnPageTitled("linked"));
  ASSERT_EQ(::symlink(elsewhere.path().c_str(), (work / "qz2002").c_str()), 0);
  ProgramOptions o = options({"1001"});
  o.environment = {};
  ASSERT_EQ(runProgram(o).exitStatus, 0);
  std::string reader = saved("index.htm");
  writeFile(work / "clicked.htm", reader + kClickEveryTurn);

  auto seenAt = [&](const std::string& page, const std::string& fragment) {
    return seenIn(domInChromium("file://" + work.path() + "/" + page + fragment));
  };
  // Turn order: numbered first, the others by name; Chromium gives the keys
  // as its DOM holds them, in UTF-8.
  EXPECT_EQ(seenAt("clicked.htm", ""),
            "plain|1=plain|%41=percent41|%zz=percentzz|7#frag=hash|A=letter|"
            "q\"u'o&lt;t&gt;e&amp;s?=marks|\xC3\xA1=accent|1=linked");
  EXPECT_EQ(seenAt("clicked.htm", "#qz1001/1001-7%23frag.htm").substr(0, 5), "hash|");
  EXPECT_EQ(seenAt("clicked.htm", "#qz1001/1001-%zz.htm").substr(0, 10), "percentzz|");
  EXPECT_EQ(seenAt("clicked.htm", "#qz2002/2002-001.htm").substr(0, 7), "linked|");
}

}  // namespace
}  // namespace qztest
