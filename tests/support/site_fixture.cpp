#include "site_fixture.h"

namespace qztest {

std::string characterPage(const std::vector<std::string>& openurlArguments) {
  std::string html = "<HTML><HEAD><TITLE>Karakter</TITLE></HEAD><BODY>\r\n<TABLE>\r\n";
  for (const std::string& arguments : openurlArguments) {
    html += "<TR><TD><A HREF=\"javascript:openurl(" + arguments + ")\">Fordulo</A></TD></TR>\r\n";
  }
  html += "</TABLE></BODY></HTML>\r\n";
  return html;
}

std::string turnPage(const std::string& body) {
  return "<HTML><HEAD>\r\n<META http-equiv=\"Content-Type\" content=\"text/html; "
         "charset=windows-1250\">\r\n<TITLE>Fordulo</TITLE></HEAD><BODY>\r\n" +
         body + "\r\n" + kEndMarker + " karakternek')</SCRIPT>\r\n</BODY></HTML>\r\n";
}

std::string fragment(const std::string& body) {
  return "<META http-equiv=\"Content-Type\" content=\"text/html; "
         "charset=windows-1250\">\n<TITLE>Fordulo</TITLE></HEAD><BODY>\n" +
         body + "\n";
}

std::string listingPage(const std::vector<std::string>& characters,
                        const std::vector<int>& offsets) {
  std::string html = "<HTML><BODY><TABLE>\n";
  for (const std::string& c : characters) {
    html +=
        "<TR><TD><A HREF=\"?m=qz&in=karakter.php&karakter=QZ" + c + "\">" + c + "</A></TD></TR>\n";
  }
  html += "</TABLE>\n";
  for (int offset : offsets) {
    html += "<A HREF=\"?m=qz&in=nyilvanos.php&rendez=&kezd=" + std::to_string(offset) + "\">" +
            std::to_string(offset) + "</A>\n";
  }
  return html + "</BODY></HTML>\n";
}

ProgramOptions SiteTest::options(std::vector<std::string> arguments) {
  ProgramOptions result;
  result.workDir = work.path();
  result.baseUrl = site.baseUrl();
  result.arguments = std::move(arguments);
  // The reader page is left out of the archive the other tests compare;
  // ReaderTest looks at it.
  result.environment = {{"QZTURNS_INDEX", "0"}};
  return result;
}

ProgramResult SiteTest::run(std::vector<std::string> arguments) {
  return runProgram(options(std::move(arguments)));
}

void SiteTest::serveCharacter(const std::string& c, const std::vector<std::string>& keys) {
  std::vector<std::string> links;
  for (const std::string& k : keys) {
    links.push_back(k + ",0,0,0");
    site.serve(turnTarget(c, k), page(turnPage("turn " + c + "/" + k)));
  }
  site.serve(characterTarget(c), page(characterPage(links)));
}

}  // namespace qztest
