// The words of a turn as the reader's search sees them: the text a browser
// shows (tags, comments, scripts and styles skipped; entities and the
// Windows-1250 bytes decoded), folded as a Hungarian reader matches words,
// without case or accents ("Vörös" is "voros", "ő" and "ű" are "o" and
// "u"). The page's script folds what is typed by the same table.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

namespace qz {

// A word longer than this is cut to it, here and in the page alike.
inline constexpr size_t kLongestWord = 40;

// The fold of U+00C0 to U+017F, one character each: the letter it folds to,
// "." for a sign between words, or a digit "1" to "5" naming the two letters
// of kFoldedPairs it folds to.
inline constexpr std::string_view kLatinFolds =
    "aaaaaa1ceeeeiiiidnooooo.ouuuuy23aaaaaa1ceeeeiiiidnooooo.ouuuuy2yaaaaaaccccccccddddeeeeeeeeee"
    "gggggggghhhhiiiiiiiiii44jjkkkllllllllllnnnnnnnnnoooooo55rrrrrrssssssssttttttuuuuuuuuuuuuwwyyy"
    "zzzzzzs";
inline constexpr std::string_view kFoldedPairs[] = {"ae", "th", "ss", "ij", "oe"};

// The elements that stand between words as a browser lays them out (block
// boxes, line breaks, rules, table cells and rows, and the title, whose
// text is a turn's words too), in byte order. Any other element, known or
// not, does not split the word it stands in ("<B>V</B>\xF6r\xF6s" is one
// word), nor does a comment or an element whose content is not shown.
inline constexpr std::string_view kSplittingElements[] = {
    "address", "article", "aside",    "blockquote", "br",    "caption",   "center",     "dd",
    "details", "dir",     "div",      "dl",         "dt",    "fieldset",  "figcaption", "figure",
    "footer",  "form",    "h1",       "h2",         "h3",    "h4",        "h5",         "h6",
    "header",  "hgroup",  "hr",       "legend",     "li",    "listing",   "main",       "menu",
    "nav",     "ol",      "optgroup", "option",     "p",     "plaintext", "pre",        "section",
    "summary", "table",   "tbody",    "td",         "tfoot", "th",        "thead",      "title",
    "tr",      "ul",      "xmp"};

// True for an element of kSplittingElements (its name in lower case).
bool splitsWords(std::string_view element);

// True for the characters a reader does not see inside a word: the soft
// hyphen and the zero-width joiner and non-joiner.
bool vanishesFromWords(uint32_t codePoint);

// Appends the fold of one character to word; false, with nothing appended,
// for a character that stands between words.
bool appendFolded(uint32_t codePoint, std::string& word);

// The folded words of a turn file's bytes, in order. Called as
// onWord(std::string_view word); the view lasts only for the call.
template <typename OnWord>
void forEachWord(std::string_view html, OnWord&& onWord);

// The code point a Windows-1250 byte stands for (0 for the five bytes that
// stand for none).
uint32_t windows1250CodePoint(unsigned char byte);

namespace detail {
// The words of html, each passed to sink(context, word).
void scanWords(std::string_view html, void (*sink)(void*, std::string_view), void* context);
}  // namespace detail

template <typename OnWord>
void forEachWord(std::string_view html, OnWord&& onWord) {
  using Function = std::remove_reference_t<OnWord>;
  detail::scanWords(
      html, [](void* f, std::string_view word) { (*static_cast<Function*>(f))(word); },
      const_cast<void*>(static_cast<const void*>(&onWord)));
}

}  // namespace qz
