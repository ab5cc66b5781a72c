#include "reader/reader_page.h"

#include <string_view>

#include "base/text.h"
#include "page/archive_names.h"
#include "reader/search_page.h"
#include "reader_web.h"

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

// text as it may stand inside a script's double-quoted string: nothing in
// it ends the string or the script, and no control character (the data's
// own separators among them) is kept.
void appendScriptText(std::string& out, std::string_view text) {
  for (char c : text) {
    if (c == '\\' || c == '"') {
      out += '\\';
      out += c;
    } else if (c == '<') {
      out += "\\x3C";
    } else if (static_cast<unsigned char>(c) < 0x20) {
      out += ' ';
    } else {
      out += c;
    }
  }
}

// Plain ASCII but for the Hungarian words, given as Windows-1250 bytes.
constexpr std::string_view kHead =
    "<!DOCTYPE html>\n<html lang=\"hu\"><head><meta charset=\"windows-1250\">\n"
    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
    "<title>Nyilv\xE1nos fordul\xF3k</title>\n<style>\n";

constexpr std::string_view kBodyHead = "</style></head>\n<body>\n<div id=\"side\">\n";

constexpr std::string_view kCharactersHead = "<h3>Karakterek</h3>\n<ul id=\"characters\">\n";

constexpr std::string_view kTail =
    "<ol class=\"turns\" id=\"turns\" hidden></ol>\n</div>\n<main><div id=\"bar\"><button "
    "id=\"prev\">&larr; El\xF5z\xF5</button> <button id=\"next\">K\xF6vetkez\xF5 &rarr;</button> "
    "<span id=\"where\"></span></div>\n"
    "<iframe id=\"pane\" name=\"pane\" title=\"fordul\xF3\"></iframe></main>\n";

// The data of reader.js: one row a character, its turns one a line.
void appendCharacterData(std::string& out, const ReaderCharacter& c) {
  const std::string folder = characterFolder(c.number);
  out += "[\"";
  appendScriptText(out, folder);
  out += "\",\"";
  appendScriptText(out, c.number);
  out += "\",\"";
  appendScriptText(out, addressOf(folder) + "/" + addressOf(c.number) + "-");
  out += "\",\"";
  for (size_t i = 0; i < c.turns.size(); ++i) {
    const ReaderTurn& turn = c.turns[i];
    out += i ? "\\n" : "";
    appendScriptText(out, turn.key);
    out += "\\t";
    const std::string encoded = addressOf(turn.key);
    if (encoded != turn.key) {
      appendScriptText(out, encoded);
    }
    out += turn.isNew ? "\\tn\\t" : turn.empty ? "\\te\\t" : "\\t\\t";
    appendScriptText(out, turn.title);
  }
  out += "\"],\n";
}

}  // namespace

std::string addressOf(std::string_view path) {
  return percentEncoded(path, [](unsigned char byte) {
    const char c = static_cast<char>(byte);
    const bool plain = isAsciiLetter(c) || isDigit(c) ||
                       std::string_view("-._~/,").find(c) != std::string_view::npos;
    return !plain;
  });
}

std::string renderReaderPage(const std::vector<ReaderCharacter>& characters,
                             const SearchIndexInfo& search) {
  std::string page(kReaderMarker);
  page += "\n";
  page += kHead;
  page += kReaderCss;
  page += kBodyHead;
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
  page += kTail;
  page += "<script>\n" + pageConstants() + "\nvar QZ_CHARACTERS = [\n";
  for (const ReaderCharacter& c : characters) {
    appendCharacterData(page, c);
  }
  // The search first: it takes a "#search=" address before the reader
  // replaces it with its first turn's.
  page += "];\n</script>\n<script>\n";
  page += kSearchJs;
  page += "</script>\n<script>\n";
  page += kReaderJs;
  page += "</script>\n</body></html>\n";
  return page;
}

}  // namespace qz
