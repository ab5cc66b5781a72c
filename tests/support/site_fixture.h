// The fixture of the end-to-end tests: a fake site, a fresh working folder,
// and the built program run between them.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_site.h"
#include "program_run.h"
#include "temp_folder.h"

namespace qztest {

inline const std::string kBanner = "Nyilvanos qz fordulok letoltese v1.2\r\n\r\n";
inline const std::string kFrontPage = "/?s=1&nogfx=on";
inline const std::string kCannotDisplay = "Ezt az oldalt nem tudjuk sz\xE1modra megjelen\xEDteni.";
inline const std::string kCannotDisplayLine =
    " Nem letezo karakter, vagy nincs nyilvanos forduloja. Vagy a franc tudja.\r\n";
inline const std::string kEndMarker = "<P><SCRIPT>gomb('\xDCzenet k\xFCld\xE9se a";

// The program's file name as its error report gives it: "qzturns", or
// "qzturns.exe" for the Windows build.
inline std::string moduleName() {
  std::string program = programUnderTest();
  return program.substr(program.find_last_of('/') + 1);
}
inline std::string errorReport(const std::string& address, const std::string& message) {
  return "Exception EInOutError in module " + moduleName() + " at " + address + ".\r\n" + message +
         ".\r\n\r\n";
}

inline std::string characterTarget(const std::string& c) {
  return "/?m=qz&in=karakter.php&karakter=QZ" + c;
}
inline std::string turnTarget(const std::string& c, const std::string& k) {
  return "/?m=qz&in=fordulo.php&karakter=QZ" + c + "&fordulo=" + k;
}
inline std::string oliTarget(const std::string& c, const std::string& pair) {
  return "/?m=qz&in=fordulo.php&karakter=QZ" + c + "&fordulo=0&oli=" + pair;
}
inline std::string listingTarget(int offset) {
  return "/?m=qz&in=nyilvanos.php&rendez=&kezd=" + std::to_string(offset);
}

// A character page linking to the given openurl argument lists, e.g. "7,0,0,0".
std::string characterPage(const std::vector<std::string>& openurlArguments);
// A turn page whose kept stretch is fragment(body).
std::string turnPage(const std::string& body);
// The bytes saved for turnPage(body).
std::string fragment(const std::string& body);
// A listing page linking to the characters and to the listing offsets given.
std::string listingPage(const std::vector<std::string>& characters,
                        const std::vector<int>& offsets);

class SiteTest : public ::testing::Test {
 protected:
  ProgramResult run(std::vector<std::string> arguments = {});
  ProgramOptions options(std::vector<std::string> arguments = {});
  std::string saved(const std::string& name) { return readFile(work / name); }
  bool has(const std::string& name) { return exists(work / name); }

  // Serves a character page for c with the given turns (numbered keys), each
  // turn page showing "turn <c>/<k>".
  void serveCharacter(const std::string& c, const std::vector<std::string>& keys);

  FakeSite site;
  TempFolder work;
};

}  // namespace qztest
