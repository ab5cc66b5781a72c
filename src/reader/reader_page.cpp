#include "reader/reader_page.h"

#include <string_view>

#include "base/text.h"
#include "page/archive_names.h"
#include "reader/archive_reader.h"
#include "reader/search_page.h"

namespace qz {

namespace {

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

// A numbered key as people write it, without the zeros the file name pads
// it with.
std::string shownKey(const std::string& key) {
  if (!allDigits(key)) {
    return key;
  }
  size_t first = key.find_first_not_of('0');
  return first == std::string::npos ? "0" : key.substr(first);
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
    "#search input{width:100%;box-sizing:border-box;margin-top:.6em}\n"
    "#found{margin:.3em 0;color:#555}#found:empty{display:none}\n"
    "#results{padding-left:1.5em}#results b{font-weight:normal;color:#555}\n"
    "</style></head>\n<body>\n<div id=\"side\">\n";

constexpr std::string_view kCharactersHead = "<h3>Karakterek</h3>\n<ul id=\"characters\">\n";

constexpr std::string_view kTail =
    "</div>\n<main><div id=\"bar\"><button id=\"prev\">&larr; El\xF5z\xF5</button> "
    "<button id=\"next\">K\xF6vetkez\xF5 &rarr;</button> <span id=\"where\"></span></div>\n"
    "<iframe id=\"pane\" name=\"pane\" title=\"fordul\xF3\"></iframe></main>\n";

constexpr std::string_view kReaderScript =
    "<script>\n"
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
    "    if (e.target && e.target.tagName === 'INPUT') return;  // the search box's own keys\n"
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

std::string addressOf(std::string_view path) {
  return percentEncoded(path, [](unsigned char byte) {
    const char c = static_cast<char>(byte);
    const bool plain = (lowerAscii(c) >= 'a' && lowerAscii(c) <= 'z') || isDigit(c) ||
                       std::string_view("-._~/,").find(c) != std::string_view::npos;
    return !plain;
  });
}

std::string renderReaderPage(const std::vector<ReaderCharacter>& characters,
                             const SearchIndexInfo& search) {
  std::string page(kReaderMarker);
  page += "\n";
  page += kHead;
  page += searchBox(search);
  page += kCharactersHead;
  for (const ReaderCharacter& c : characters) {
    const std::string id = characterFolder(c.number);
    page += "<li><a href=\"#" + addressOf(id) + "\" data-c=\"" + htmlEscaped(id) + "\">" +
            htmlEscaped(c.number) + "</a> <small>" + std::to_string(c.turns.size()) + " fordul\xF3";
    if (c.added > 0) {
      page += "<b> +" + std::to_string(c.added) + " \xFAj</b>";
    }
    page += "</small></li>\n";
  }
  page += "</ul>\n";
  for (const ReaderCharacter& c : characters) {
    const std::string id = characterFolder(c.number);
    page += "<ol class=\"turns\" id=\"" + htmlEscaped(id) + "\" data-n=\"" + htmlEscaped(c.number) +
            "\" hidden>\n";
    for (const ReaderTurn& turn : c.turns) {
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
  page += searchScript();
  page += kReaderScript;
  return page;
}

}  // namespace qz
