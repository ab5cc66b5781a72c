#include "search/search_text.h"

#include <algorithm>
#include <array>
#include <iterator>

#include "base/text.h"

namespace qz {

namespace {

// The elements whose content a browser does not show (as its innerText
// leaves it out): skipped whole, and not between words.
constexpr std::string_view kHiddenText[] = {"script",   "style",  "noscript", "noembed",
                                            "noframes", "iframe", "template", "textarea"};

constexpr uint32_t kWindows1250High[128] = {
    0x20AC, 0,      0x201A, 0,      0x201E, 0x2026, 0x2020, 0x2021, 0,      0x2030, 0x0160, 0x2039,
    0x015A, 0x0164, 0x017D, 0x0179, 0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0,      0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, 0x00A0, 0x02C7, 0x02D8, 0x0141,
    0x00A4, 0x0104, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x0105, 0x015F, 0x00BB,
    0x013D, 0x02DD, 0x013E, 0x017C, 0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E, 0x0110, 0x0143, 0x0147, 0x00D3,
    0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, 0x010D, 0x00E9, 0x0119, 0x00EB,
    0x011B, 0x00ED, 0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9};

// What each byte of a turn file folds to, worked out once: the scan costs
// one table look-up per byte of text.
struct ByteFolds {
  std::array<std::string, 256> folded;
  std::array<bool, 256> vanishes{};
  ByteFolds() {
    for (unsigned b = 0; b < 256; ++b) {
      const uint32_t code = windows1250CodePoint(static_cast<unsigned char>(b));
      appendFolded(code, folded[b]);
      vanishes[b] = vanishesFromWords(code);
    }
  }
};

const ByteFolds& byteFolds() {
  static const ByteFolds folds;
  return folds;
}

// The named entities that stand for a space or a sign; a name a browser
// does not know it shows as it is, letters and all.
bool isSignEntity(std::string_view name) {
  static constexpr std::string_view kSigns[] = {
      "nbsp",   "amp",   "lt",     "gt",     "quot",   "apos",   "copy",   "reg",    "trade",
      "hellip", "ndash", "mdash",  "laquo",  "raquo",  "bdquo",  "ldquo",  "rdquo",  "lsquo",
      "rsquo",  "sbquo", "middot", "bull",   "deg",    "euro",   "times",  "divide", "shy",
      "sect",   "para",  "plusmn", "iexcl",  "iquest", "cent",   "pound",  "yen",    "curren",
      "brvbar", "uml",   "ordf",   "ordm",   "not",    "macr",   "acute",  "micro",  "cedil",
      "sup1",   "sup2",  "sup3",   "frac14", "frac12", "frac34", "ensp",   "emsp",   "thinsp",
      "zwnj",   "zwj",   "lrm",    "rlm",    "dagger", "Dagger", "permil", "lsaquo", "rsaquo"};
  return std::find(std::begin(kSigns), std::end(kSigns), name) != std::end(kSigns);
}

// The fold of a named entity that stands for a letter: the accent names of
// HTML's letter entities ("&ouml;", "&Odblac;", "&scaron;") fold to their
// first letter, and the few ligatures to two.
bool appendNamedEntity(std::string_view name, std::string& word) {
  static constexpr std::string_view kAccents[] = {"acute", "grave", "circ",  "tilde", "uml",
                                                  "ring",  "cedil", "slash", "dblac", "caron",
                                                  "ogon",  "macr",  "breve", "dot",   "strok"};
  static constexpr std::pair<std::string_view, std::string_view> kWhole[] = {
      {"szlig", "ss"}, {"aelig", "ae"}, {"oelig", "oe"}, {"thorn", "th"}, {"eth", "d"}};
  const std::string lower = asciiLower(name);
  for (const auto& [entity, fold] : kWhole) {
    if (lower == entity) {
      word += fold;
      return true;
    }
  }
  if (name.size() < 2 || !isAsciiLetter(lower[0])) {
    return false;
  }
  for (std::string_view accent : kAccents) {
    if (name.substr(1) == accent) {
      word += lower[0];
      return true;
    }
  }
  return false;
}

// What an entity stands for in a word.
enum class Entity { kLetter, kSign, kNothing };

// The entity at text[at] ("&"), its fold appended to word; returns where
// the text goes on, or at + 1 when what follows "&" is no entity (a sign,
// then letters as text).
size_t readEntity(std::string_view text, size_t at, std::string& word, Entity& kind) {
  size_t end = text.find(';', at);
  kind = Entity::kSign;
  if (end == std::string_view::npos || end - at > 12 || end - at < 3) {
    return at + 1;
  }
  std::string_view name = text.substr(at + 1, end - at - 1);
  if (name[0] == '#') {
    const bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
    std::string_view digits = name.substr(hex ? 2 : 1);
    uint32_t code = 0;
    for (char c : digits) {
      const int value = isDigit(c) ? c - '0'
                        : hex && lowerAscii(c) >= 'a' && lowerAscii(c) <= 'f'
                            ? lowerAscii(c) - 'a' + 10
                            : -1;
      if (value < 0 || code > 0x10FFFF) {
        return at + 1;
      }
      code = code * (hex ? 16 : 10) + static_cast<uint32_t>(value);
    }
    if (digits.empty()) {
      return at + 1;
    }
    kind = vanishesFromWords(code)    ? Entity::kNothing
           : appendFolded(code, word) ? Entity::kLetter
                                      : Entity::kSign;
    return end + 1;
  }
  for (char c : name) {
    if (!isDigit(c) && !isAsciiLetter(c)) {
      return at + 1;
    }
  }
  if (name == "shy" || name == "zwj" || name == "zwnj") {
    kind = Entity::kNothing;
    return end + 1;
  }
  kind = appendNamedEntity(name, word) ? Entity::kLetter : Entity::kSign;
  return kind == Entity::kLetter || isSignEntity(name) ? end + 1 : at + 1;
}

// Where a comment that starts at text[at] ("<!--") ends, as a browser's
// parser ends it: at "-->" or "--!>", at once for "<!-->" and "<!--->", and
// at the end of the text when it is never closed.
size_t commentEnd(std::string_view text, size_t at) {
  const size_t body = at + 4;
  if (text.substr(body, 1) == ">") {
    return body + 1;
  }
  if (text.substr(body, 2) == "->") {
    return body + 2;
  }
  for (size_t dash = text.find("--", body); dash != std::string_view::npos;
       dash = text.find("--", dash + 1)) {
    if (text.substr(dash + 2, 1) == ">") {
      return dash + 3;
    }
    if (text.substr(dash + 2, 2) == "!>") {
      return dash + 4;
    }
  }
  return text.size();
}

// The name of the tag at text[at] ("<" or "</"), in lower case.
std::string tagName(std::string_view text, size_t at) {
  std::string name;
  for (size_t i = at + (text.substr(at, 2) == "</" ? 2 : 1);
       i < text.size() && (isAsciiLetter(text[i]) || isDigit(text[i])); ++i) {
    name += lowerAscii(text[i]);
  }
  return name;
}

// Where the close tag of element stands at or after from ("</title" then a
// space, "/" or ">"), or npos.
size_t closeTag(std::string_view text, std::string_view element, size_t from) {
  const std::string close = "</" + std::string(element);
  for (size_t at = findIgnoringCase(text, close, from); at != std::string_view::npos;
       at = findIgnoringCase(text, close, at + 1)) {
    const char after = at + close.size() < text.size() ? text[at + close.size()] : '>';
    if (after == '>' || after == '/' || after == ' ' || after == '\t' || after == '\n' ||
        after == '\r' || after == '\f') {
      return at;
    }
  }
  return std::string_view::npos;
}

// The markup that starts at text[at] ("<"): where it ends (at when that "<"
// is text), whether it stands between words, and, for the title, whose text
// a browser reads as text whatever it holds, where that text ends.
struct Markup {
  size_t end;
  bool splits = false;
  size_t textEnd = 0;
};

Markup readMarkup(std::string_view text, size_t at) {
  const char next = at + 1 < text.size() ? text[at + 1] : '\0';
  if (text.substr(at, 4) == "<!--") {
    return {commentEnd(text, at)};
  }
  const bool closing = next == '/';
  const char first = closing && at + 2 < text.size() ? text[at + 2] : next;
  if (next == '!' || next == '?' || (closing && !isAsciiLetter(first))) {
    // A bogus comment: "<!DOCTYPE ...>", "<?xml ...?>", "</ 3>".
    if (closing && first != '>' && at + 2 >= text.size()) {
      return {at};
    }
    const size_t close = text.find('>', at);
    return {close == std::string_view::npos ? text.size() : close + 1};
  }
  if (!isAsciiLetter(first)) {
    return {at};
  }
  // A ">" within a quoted attribute value does not end the tag.
  size_t end = at + 1;
  for (char quote = 0, before = 0; end < text.size(); ++end) {
    const char c = text[end];
    if (quote != 0) {
      quote = c == quote ? 0 : quote;
    } else if (c == '>') {
      break;
    } else if ((c == '"' || c == '\'') && before == '=') {
      quote = c;
    }
    before = c == ' ' ? before : c;
  }
  if (end >= text.size()) {
    return {text.size()};
  }
  const std::string name = tagName(text, at);
  Markup markup{end + 1, splitsWords(name)};
  if (closing) {
    return markup;
  }
  if (name == "title") {
    const size_t close = closeTag(text, name, markup.end);
    markup.textEnd = close == std::string_view::npos ? text.size() : close;
  } else if (std::find(std::begin(kHiddenText), std::end(kHiddenText), name) !=
             std::end(kHiddenText)) {
    const size_t close = closeTag(text, name, markup.end);
    if (close == std::string_view::npos) {
      return {text.size()};
    }
    const size_t closeEnd = text.find('>', close);
    markup.end = closeEnd == std::string_view::npos ? text.size() : closeEnd + 1;
  }
  return markup;
}

}  // namespace

uint32_t windows1250CodePoint(unsigned char byte) {
  return byte < 0x80 ? byte : kWindows1250High[byte - 0x80];
}

bool vanishesFromWords(uint32_t codePoint) {
  return codePoint == 0xAD || codePoint == 0x200C || codePoint == 0x200D;
}

bool splitsWords(std::string_view element) {
  return std::binary_search(std::begin(kSplittingElements), std::end(kSplittingElements), element);
}

bool appendFolded(uint32_t codePoint, std::string& word) {
  if (codePoint < 0x80) {
    const char c = lowerAscii(static_cast<char>(codePoint));
    if ((c >= 'a' && c <= 'z') || isDigit(c)) {
      word += c;
      return true;
    }
    return false;
  }
  if (codePoint < 0xC0 || codePoint >= 0xC0 + kLatinFolds.size()) {
    return false;
  }
  const char fold = kLatinFolds[codePoint - 0xC0];
  if (fold == '.') {
    return false;
  }
  if (fold >= '1' && fold <= '5') {
    word += kFoldedPairs[fold - '1'];
  } else {
    word += fold;
  }
  return true;
}

namespace detail {

void scanWords(std::string_view html, void (*sink)(void*, std::string_view), void* context) {
  const ByteFolds& folds = byteFolds();
  std::string word;
  auto endWord = [&] {
    if (!word.empty()) {
      sink(context, std::string_view(word).substr(0, kLongestWord));
      word.clear();
    }
  };
  size_t at = 0;
  size_t textEnd = 0;  // the end of a title's or a textarea's text, read as text
  while (at < html.size()) {
    const unsigned char byte = static_cast<unsigned char>(html[at]);
    if (byte == '<' && at >= textEnd) {
      const Markup markup = readMarkup(html, at);
      if (markup.end != at) {
        if (markup.splits) {
          endWord();  // a line break, a paragraph, a cell: words end there
        }
        textEnd = markup.textEnd;
        at = markup.end;
        continue;
      }
    } else if (byte == '&') {
      Entity entity = Entity::kSign;
      const size_t after = readEntity(html, at, word, entity);
      if (entity == Entity::kSign) {
        endWord();
      }
      at = after;
      continue;
    }
    if (folds.vanishes[byte]) {
      ++at;
      continue;
    }
    const std::string& fold = folds.folded[byte];
    if (fold.empty()) {
      endWord();
    } else {
      word += fold;
    }
    ++at;
  }
  endWord();
}

}  // namespace detail

}  // namespace qz
