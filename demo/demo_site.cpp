// A stand-in for the game site on 127.0.0.1: a listing of characters over
// several pages, character pages that link to public turns, and turn pages
// with Hungarian text. Serves until killed; prints its address first.
//
//   demo_site [--characters N] [--turns N] [--page-kib N] [--per-page N]
//             [--delay-ms N] [--connect-delay-ms N] [--rate N] [--burst N]
//             [--stats FILE] [--log FILE]
//
// When the site is stopped with SIGTERM or SIGINT, --stats writes the number
// of requests, connections and body bytes served to FILE, and --log the full
// URL of every request, one a line.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "fake_site.h"

namespace {

struct Options {
  int characters = 12;
  int turns = 4;
  int pageKib = 0;  // pad turn pages to about this size; 0 keeps them small
  int perPage = 5;  // characters on one listing page
  int delayMs = 0;
  int connectDelayMs = 0;
  int rate = 0;  // requests a second past the burst, 503 for the rest; 0 for no limit
  int burst = 5;
  std::string stats;
  std::string log;
};

const std::string kEndMarker = "<P><SCRIPT>gomb('\xDCzenet k\xFCld\xE9se a";
const std::string kCannotDisplay =
    "<HTML><BODY><P>Ezt az oldalt nem tudjuk sz\xE1modra megjelen\xEDteni.</P></BODY></HTML>\r\n";

std::string number(int i) {
  return std::to_string(1201 + i * 7);
}

std::string characterPage(const std::string& c, int turns) {
  std::string html = "<HTML><HEAD><TITLE>QZ" + c + "</TITLE></HEAD><BODY>\r\n<TABLE>\r\n";
  for (int t = 1; t <= turns; ++t) {
    html += "<TR><TD><A HREF=\"#\" onClick=\"openurl(" + std::to_string(t) + ",0,0,0)\">" +
            std::to_string(t) + ". fordul\xF3</A></TD></TR>\r\n";
  }
  // An extra turn shown the other way, as an oli turn.
  html += "<TR><TD><A HREF=\"#\" onClick=\"openurl(0,0,3,15)\">Oli fordul\xF3</A></TD></TR>\r\n";
  return html + "</TABLE></BODY></HTML>\r\n";
}

std::string turnPage(const std::string& c, const std::string& turn, int padKib) {
  std::string html =
      "<HTML><HEAD>\r\n<META http-equiv=\"Content-Type\" content=\"text/html; "
      "charset=windows-1250\">\r\n<TITLE>QZ" +
      c + " " + turn + "</TITLE></HEAD><BODY>\r\n<H2>QZ" + c + " \x96 " + turn +
      ". fordul\xF3</H2>\r\n"
      "<P>A l\xE1ndzs\xE1s l\xE9pett el\xF5sz\xF6r a v\xE1rkapu el\xE9, \xE9s "
      "sz\xF3lt: \xAB\xC1lljatok meg, utaz\xF3k!\xBB</P>\r\n";
  std::string line =
      "<P>\xD6t \xE9ve j\xE1rja a hegyeket, \xE9s m\xE9g mindig nem tal\xE1lta "
      "meg a kardot, amelyet az \xF6"
      "reg kov\xE1"
      "cs elrejtett.</P>\r\n";
  while (html.size() < static_cast<size_t>(padKib) * 1024) {
    html += line;
  }
  return html + kEndMarker + " j\xE1t\xE9kosnak')</SCRIPT>\r\n</BODY></HTML>\r\n";
}

std::string listingPage(const Options& o, int pageIndex, int pages) {
  std::string html = "<HTML><BODY><TABLE>\r\n";
  for (int i = pageIndex * o.perPage; i < std::min(o.characters, (pageIndex + 1) * o.perPage);
       ++i) {
    html += "<TR><TD><A HREF=\"?m=qz&in=karakter.php&karakter=QZ" + number(i) + "\">" + number(i) +
            "</A></TD></TR>\r\n";
  }
  html += "</TABLE><P>\r\n";
  for (int p = 0; p < pages; ++p) {
    html += "<A HREF=\"?m=qz&in=nyilvanos.php&rendez=&kezd=" + std::to_string(p * o.perPage) +
            "\">" + std::to_string(p + 1) + "</A>\r\n";
  }
  return html + "</P></BODY></HTML>\r\n";
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  const std::map<std::string, int*> numbers = {{"--characters", &o.characters},
                                               {"--turns", &o.turns},
                                               {"--page-kib", &o.pageKib},
                                               {"--per-page", &o.perPage},
                                               {"--delay-ms", &o.delayMs},
                                               {"--connect-delay-ms", &o.connectDelayMs},
                                               {"--rate", &o.rate},
                                               {"--burst", &o.burst}};
  const std::map<std::string, std::string*> files = {{"--stats", &o.stats}, {"--log", &o.log}};
  for (int i = 1; i + 1 < argc; i += 2) {
    if (auto number = numbers.find(argv[i]); number != numbers.end()) {
      *number->second = std::atoi(argv[i + 1]);
    } else if (auto file = files.find(argv[i]); file != files.end()) {
      *file->second = argv[i + 1];
    } else {
      std::fprintf(stderr, "demo_site: unknown option %s\n", argv[i]);
      return 2;
    }
  }
  o.perPage = std::max(1, o.perPage);

  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);  // the server threads inherit this

  qztest::FakeSite site;
  site.setLatency(o.delayMs, o.connectDelayMs);
  if (o.rate > 0) {
    site.setRateLimit(o.rate, o.burst);
  }
  site.serve("/?s=1&nogfx=on", qztest::page("<HTML><BODY>Nyit\xF3lap</BODY></HTML>"));
  int pages = (o.characters + o.perPage - 1) / o.perPage;
  for (int p = 0; p < std::max(pages, 1); ++p) {
    site.serve("/?m=qz&in=nyilvanos.php&rendez=&kezd=" + std::to_string(p * o.perPage),
               qztest::page(listingPage(o, p, pages)));
  }
  for (int i = 0; i < o.characters; ++i) {
    std::string c = number(i);
    std::string base = "/?m=qz&in=fordulo.php&karakter=QZ" + c + "&fordulo=";
    if (i == 2) {  // one character the site will not show
      site.serve("/?m=qz&in=karakter.php&karakter=QZ" + c, qztest::page(kCannotDisplay));
      continue;
    }
    site.serve("/?m=qz&in=karakter.php&karakter=QZ" + c, qztest::page(characterPage(c, o.turns)));
    for (int t = 1; t <= o.turns; ++t) {
      site.serve(base + std::to_string(t), qztest::page(turnPage(c, std::to_string(t), o.pageKib)));
    }
    site.serve(base + "0&oli=3,15", qztest::page(turnPage(c, "Oli", o.pageKib)));
  }

  std::printf("%s\n", site.baseUrl().c_str());
  std::fflush(stdout);
  int received = 0;
  sigwait(&stopSignals, &received);
  if (!o.stats.empty()) {
    std::ofstream out(o.stats);
    out << "requests " << site.requests().size() << "\nconnections " << site.connectionCount()
        << "\nbytes " << site.bytesServed() << "\nrefused " << site.refusedCount() << "\n";
  }
  if (!o.log.empty()) {
    std::ofstream out(o.log);
    for (const std::string& target : site.targets()) {
      out << site.baseUrl() << target << "\n";
    }
  }
  site.stop();
  return 0;
}
