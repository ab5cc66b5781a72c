#include "crawl/archive_reader.h"

#include <algorithm>
#include <set>

#include "crawl/character_roster.h"
#include "crawl/turn_archive.h"
#include "run/key_list.h"
#include "run/local_files.h"

namespace qz {

namespace {

constexpr size_t kTitleHead = 4096;  // a turn's title is near its start
constexpr size_t kLongestTitle = 100;

struct Turn {
  std::string key;
  std::string file;  // "qz1234/1234-007.htm", with "/" on every system
  std::string title;
  bool empty = false;
  bool isNew = false;
};

struct Character {
  std::string number;
  std::vector<Turn> turns;
  int added = 0;
};

// A number written in digits, compared by value however long it is.
bool numberLess(std::string_view a, std::string_view b) {
  a.remove_prefix(std::min(a.find_first_not_of('0'), a.size()));
  b.remove_prefix(std::min(b.find_first_not_of('0'), b.size()));
  return a.size() != b.size() ? a.size() < b.size() : a < b;
}

// Numbered turns by number, then oli turns by their pair, as the site lists
// them, then anything else by name.
int group(std::string_view key) {
  if (allDigits(key)) {
    return 0;
  }
  return key.substr(0, 2) == "ol" ? 1 : 2;
}

bool turnLess(const Turn& a, const Turn& b) {
  int ga = group(a.key), gb = group(b.key);
  if (ga != gb) {
    return ga < gb;
  }
  if (ga == 0 && a.key != b.key) {
    return numberLess(a.key, b.key) || (!numberLess(b.key, a.key) && a.key < b.key);
  }
  if (ga == 1) {
    std::string_view pa = std::string_view(a.key).substr(2), pb = std::string_view(b.key).substr(2);
    std::string_view a1 = pa.substr(0, pa.find(',')), b1 = pb.substr(0, pb.find(','));
    if (allDigits(a1) && allDigits(b1) && a1 != b1 && numberLess(a1, b1) != numberLess(b1, a1)) {
      return numberLess(a1, b1);
    }
    std::string_view a2 = pa.substr(std::min(pa.size(), a1.size() + 1));
    std::string_view b2 = pb.substr(std::min(pb.size(), b1.size() + 1));
    if (allDigits(a2) && allDigits(b2) && numberLess(a2, b2) != numberLess(b2, a2)) {
      return numberLess(a2, b2);
    }
  }
  return a.key < b.key;
}

size_t findCaseless(std::string_view text, std::string_view lower, size_t from = 0) {
  for (size_t i = from; i + lower.size() <= text.size(); ++i) {
    bool same = true;
    for (size_t j = 0; j < lower.size() && same; ++j) {
      char c = text[i + j];
      same = (c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) == lower[j];
    }
    if (same) {
      return i;
    }
  }
  return std::string_view::npos;
}

// The text of the turn file's <TITLE>, its bytes as they stand but for line
// breaks, and for the characters that would make it markup of this page.
std::string titleOf(std::string_view head) {
  size_t open = findCaseless(head, "<title");
  size_t start = open == std::string_view::npos ? open : head.find('>', open);
  size_t end = start == std::string_view::npos ? start : findCaseless(head, "</title", start);
  if (end == std::string_view::npos) {
    return {};
  }
  std::string title;
  for (char c : head.substr(start + 1, std::min(end - start - 1, kLongestTitle))) {
    if (c == '<') {
      title += "&lt;";
    } else if (c == '>') {
      title += "&gt;";
    } else if (c == '\r' || c == '\n' || c == '\t') {
      title += ' ';
    } else {
      title += c;
    }
  }
  size_t first = title.find_first_not_of(' ');
  return first == std::string::npos ? std::string()
                                    : title.substr(first, title.find_last_not_of(' ') - first + 1);
}

// text as it may stand in the page's text and attributes.
std::string htmlEscaped(std::string_view text) {
  std::string escaped;
  for (char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      case '\'':
        escaped += "&#39;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

// A relative path as an address the browser opens from file:// as that very
// file: every byte percent-encoded but letters, digits, "-._~", the slashes
// and the comma of oli keys, so that no "#", "?" or "%" in a name is read
// as anything but part of it, and bytes past ASCII reach the disk as they
// are rather than in the page's code page.
std::string addressOf(std::string_view path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string address;
  for (char c : path) {
    unsigned char byte = static_cast<unsigned char>(c);
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 std::string_view("-._~/,").find(c) != std::string_view::npos;
    if (plain) {
      address += c;
    } else {
      address += '%';
      address += kHex[byte >> 4];
      address += kHex[byte & 0x0F];
    }
  }
  return address;
}

// A numbered key as people write it, without the zeros the file name pads
// it with.
std::string shownKey(const std::string& key) {
  if (!allDigits(key)) {
    return key;
  }
  size_t first = key.find_first_not_of('0');
  return first == std::string::npos ? "0" : key.substr(first);
}

std::vector<Character> scanArchive(const std::string& folder, const std::set<std::string>& fresh) {
  KeyList numbers;
  std::vector<Character> characters;
  for (const FolderEntry& entry : listFolder(folder, true)) {
    if (entry.isFolder && entry.name.rfind(std::string(characterFolder("")), 0) == 0) {
      numbers.add(entry.name.substr(characterFolder("").size()));
    }
  }
  for (size_t i = 0; i < numbers.count(); ++i) {
    Character character;
    character.number = numbers.at(i);
    const std::string sub = characterFolder(character.number);
    const std::string prefix = character.number + "-";
    for (const FolderEntry& entry : listFolder(folder + kDirectorySeparator + sub)) {
      const std::string& name = entry.name;
      if (entry.isFolder || name.size() <= prefix.size() + 4 || name.rfind(prefix, 0) != 0 ||
          name.substr(name.size() - 4) != ".htm") {
        continue;  // not a turn file (a ".part" of a killed run among them)
      }
      Turn turn;
      turn.key = name.substr(prefix.size(), name.size() - prefix.size() - 4);
      turn.file = sub + "/" + name;
      turn.empty = entry.size == 0;
      if (!turn.empty) {
        turn.title = titleOf(readFileHead(
            folder + kDirectorySeparator + sub + kDirectorySeparator + name, kTitleHead));
      }
      turn.isNew = fresh.count(turn.file) > 0;
      character.added += turn.isNew ? 1 : 0;
      character.turns.push_back(std::move(turn));
    }
    if (!character.turns.empty()) {
      std::sort(character.turns.begin(), character.turns.end(), turnLess);
      characters.push_back(std::move(character));
    }
  }
  return characters;
}

// Plain ASCII but for the Hungarian words, given as Windows-1250 bytes.
constexpr std::string_view kHead =
    "<!DOCTYPE html>\n<html lang=\"hu\"><head><meta charset=\"windows-1250\">\n"
    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
    "<title>Nyilv\xE1nos fordul\xF3k</title>\n<style>\n"
    "body{margin:0;font:14px/1.4 sans-serif;display:flex;height:100vh}\n"
    "#side{width:22em;overflow:auto;border-right:1px solid #ccc;padding:0 .5em}\n"
    "#side ul,#side ol{padding-left:1.5em}\n"
    "#characters a.on,ol li.on{font-weight:bold;background:#eef}\n"
    "ol li.n::after{content:\" \\00FAj\";color:#080;font-size:smaller}\n"
    "ol li.e::after{content:\" \\00FCres\";color:#888;font-size:smaller}\n"
    "small b{color:#080;font-weight:normal}\n"
    "main{flex:1;display:flex;flex-direction:column}\n"
    "#bar{padding:.3em;border-bottom:1px solid #ccc}\n"
    "iframe{flex:1;border:0;width:100%}\n"
    "@media (max-width:700px){body{flex-direction:column;height:auto}"
    "#side{width:auto;max-height:40vh;border-right:0;border-bottom:1px solid #ccc}"
    "iframe{height:70vh}}\n"
    "</style></head>\n<body>\n<div id=\"side\">\n<h3>Karakterek</h3>\n<ul id=\"characters\">\n";

constexpr std::string_view kTail =
    "</div>\n<main><div id=\"bar\"><button id=\"prev\">&larr; El\xF5z\xF5</button> "
    "<button id=\"next\">K\xF6vetkez\xF5 &rarr;</button> <span id=\"where\"></span></div>\n"
    "<iframe id=\"pane\" name=\"pane\" title=\"fordul\xF3\"></iframe></main>\n<script>\n"
    "(function () {\n"
    "  var pane = document.getElementById('pane');\n"
    "  var where = document.getElementById('where');\n"
    "  var lists = document.querySelectorAll('ol.turns');\n"
    "  var current = null;\n"
    "  function links(list) { return list ? list.querySelectorAll('a') : []; }\n"
    "  function showList(id) {\n"
    "    for (var i = 0; i < lists.length; i++) lists[i].hidden = lists[i].id !== id;\n"
    "    var all = document.querySelectorAll('#characters a');\n"
    "    for (var j = 0; j < all.length; j++)\n"
    "      all[j].className = all[j].getAttribute('data-c') === id ? 'on' : '';\n"
    "  }\n"
    "  function plain(s) { try { return decodeURIComponent(s); } catch (e) { return s; } }\n"
    "  function same(a, b) { return a === b || plain(a) === plain(b); }\n"
    "  function show(file) {\n"
    "    var list = null, all = [], at = -1;\n"
    "    for (var l = 0; l < lists.length && at < 0; l++) {\n"
    "      all = links(lists[l]);\n"
    "      for (var i = 0; i < all.length; i++)\n"
    "        if (same(all[i].getAttribute('href'), file)) { at = i; list = lists[l]; break; }\n"
    "    }\n"
    "    if (at < 0) return false;\n"
    "    file = all[at].getAttribute('href');\n"
    "    if (current) current.parentNode.classList.remove('on');\n"
    "    current = all[at];\n"
    "    current.parentNode.classList.add('on');\n"
    "    showList(list.id);\n"
    "    if (pane.getAttribute('src') !== file) pane.setAttribute('src', file);\n"
    "    if (location.hash.slice(1) !== file) {\n"
    "      try { history.replaceState(null, '', '#' + file); } catch (e) { location.hash = file; "
    "}\n"
    "    }\n"
    "    where.textContent = list.getAttribute('data-n') + ': ' + current.textContent +\n"
    "        ' (' + (at + 1) + '/' + all.length + ')';\n"
    "    if (current.scrollIntoView) current.scrollIntoView({block: 'nearest'});\n"
    "    return true;\n"
    "  }\n"
    "  function step(by) {\n"
    "    if (!current) return;\n"
    "    var all = links(current.parentNode.parentNode);\n"
    "    for (var i = 0; i < all.length; i++)\n"
    "      if (all[i] === current && all[i + by]) { show(all[i + by].getAttribute('href')); "
    "return; }\n"
    "  }\n"
    "  document.addEventListener('click', function (e) {\n"
    "    var a = e.target.closest ? e.target.closest('a') : null;\n"
    "    if (!a) return;\n"
    "    var c = a.getAttribute('data-c');\n"
    "    if (c) {\n"
    "      e.preventDefault();\n"
    "      var first = links(document.getElementById(c))[0];\n"
    "      if (!first || !show(first.getAttribute('href'))) showList(c);\n"
    "    } else if (a.getAttribute('target') === 'pane') {\n"
    "      e.preventDefault();\n"
    "      show(a.getAttribute('href'));\n"
    "    }\n"
    "  });\n"
    "  document.getElementById('prev').onclick = function () { step(-1); };\n"
    "  document.getElementById('next').onclick = function () { step(1); };\n"
    "  document.addEventListener('keydown', function (e) {\n"
    "    var by = {ArrowLeft: -1, ArrowUp: -1, ArrowRight: 1, ArrowDown: 1}[e.key];\n"
    "    if (by) { e.preventDefault(); step(by); }\n"
    "  });\n"
    "  window.addEventListener('hashchange', function () {\n"
    "    show(location.hash.slice(1));\n"
    "  });\n"
    "  if (!show(location.hash.slice(1)) && lists.length) {\n"
    "    var first = links(lists[0])[0];\n"
    "    if (first) show(first.getAttribute('href'));\n"
    "  }\n"
    "})();\n"
    "</script>\n</body></html>\n";

}  // namespace

std::string readerPage(const std::string& folder, const std::vector<std::string>& newFiles) {
  std::set<std::string> fresh;
  for (std::string file : newFiles) {
    std::replace(file.begin(), file.end(), kDirectorySeparator, '/');
    fresh.insert(file);
  }
  std::vector<Character> characters = scanArchive(folder, fresh);
  std::string page(kReaderMarker);
  page += "\n";
  page += kHead;
  for (const Character& c : characters) {
    const std::string id = characterFolder(c.number);
    page += "<li><a href=\"#" + addressOf(id) + "\" data-c=\"" + htmlEscaped(id) + "\">" +
            htmlEscaped(c.number) + "</a> <small>" + std::to_string(c.turns.size()) + " fordul\xF3";
    if (c.added > 0) {
      page += "<b> +" + std::to_string(c.added) + " \xFAj</b>";
    }
    page += "</small></li>\n";
  }
  page += "</ul>\n";
  for (const Character& c : characters) {
    const std::string id = characterFolder(c.number);
    page += "<ol class=\"turns\" id=\"" + htmlEscaped(id) + "\" data-n=\"" + htmlEscaped(c.number) +
            "\" hidden>\n";
    for (const Turn& turn : c.turns) {
      page += "<li";
      if (turn.isNew || turn.empty) {
        page += turn.isNew ? " class=\"n\"" : " class=\"e\"";
      }
      page += "><a href=\"" + addressOf(turn.file) + "\" target=\"pane\">" +
              htmlEscaped(shownKey(turn.key)) + "</a>";
      if (!turn.title.empty()) {
        page += " " + turn.title;
      }
      page += "</li>\n";
    }
    page += "</ol>\n";
  }
  page += kTail;
  return page;
}

bool writeReader(const std::vector<std::string>& newFiles) {
  if (fileExists(kReaderFileName) && readFileHead(kReaderFileName, kReaderMarker.size() + 1) !=
                                         std::string(kReaderMarker) + "\n") {
    return false;
  }
  DurableBatch batch;
  batch.write(kReaderFileName, readerPage(".", newFiles));
  batch.commit();
  return true;
}

}  // namespace qz
