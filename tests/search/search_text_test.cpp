#include "search/search_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "search/block_index.h"

namespace qz {
namespace {

std::string wordsOf(std::string_view html) {
  std::string words;
  forEachWord(html, [&](std::string_view word) {
    words += words.empty() ? "" : " ";
    words += word;
  });
  return words;
}

TEST(SearchTextTest, TheWordsOfATurnAsAReaderSeesThem) {
  const struct {
    std::string html;
    std::string words;
  } kRows[] = {
      // Case and accents, from the page's Windows-1250 bytes.
      {"Ilona a V\xF6r\xF6s TORONYBAN", "ilona a voros toronyban"},
      {"\xF5r \xFB\xFC \xC1RV\xCDZT\xDBR\xD5 T\xDCK\xD6RF\xDAR\xD3G\xC9P",
       "or uu arvizturo tukorfurogep"},
      {"\x8A\x9A\x8E\x9E \xE8\xC8\xF8 Stra\xDF"
       "e",
       "sszz ccr strasse"},
      // Entities: letters fold like the bytes; the rest stand between words.
      {"V&ouml;r&Ouml;s &#337;rs&#xE9;g &Odblac;&udblac;", "voros orseg ou"},
      {"Stra&szlig;e &AElig;on", "strasse aeon"},
      {"a&nbsp;b&amp;c&lt;d &unknown;e &#0;f &#xZZ;g", "a b c d unknown e f xzz g"},
      {"fish &chips", "fish chips"},
      // Markup is skipped, and stands between words; a lone "<" is text.
      {"<P>egy<BR>kett\xF5</P><B>h\xE1</B>rom", "egy ketto harom"},
      // Markup within a word, as a browser shows it: inline elements, word
      // breaks, soft hyphens, joiners and comments leave it whole; blocks,
      // breaks and cells end it, and hidden content is no words.
      {"<B>V</B>\xF6r\xF6s <I>Ilo</I>na kard</FONT>ot <x-tag>a</x-tag>b <IMG src=x>c",
       "voros ilona kardot ab c"},
      {"ka<WBR>rd ka\xADrd ka&shy;rd ka&zwj;rd ka&zwnj;rd ka&#173;rd ka&#x200D;rd",
       "kard kard kard kard kard kard kard"},
      {"a<DIV>b</DIV>c<TD>d</TD>e<HR>f<LI>g<H1>h</H1>i", "a b c d e f g h i"},
      {"a<SCRIPT>x</SCRIPT>b c<NOSCRIPT>x</NOSCRIPT>d e<TEXTAREA><b>x</b></TEXTAREA>f", "ab cd ef"},
      {"a<!-->b c<!--->d e<!-- x --!>f g<!-- x -->h i<!-- x", "ab cd ef gh i"},
      {"a<!DOCTYPE x>b c<?xml ?>d e</ 3>f", "ab cd ef"},
      // A title's text is text, whatever it holds, up to its own end tag.
      {"<TITLE>c\xEDm <!-- <b> nem</TITLE >sz\xF6veg", "cim b nem szoveg"},
      {"<TITLE>c\xEDm</TITLES> </TITLE>x", "cim titles x"},
      {"<TD CLASS=\"a b\" title='x > y' onclick=\"a>b\">sz\xF6veg <IMG ALT=Don't>x", "szoveg x"},
      {"a <script>var rejtett = '</p>';</SCRIPT> b <style>p{x:1}</style> c", "a b c"},
      {"<scripts>latszik</scripts> <!-- megjegyzes --> ok", "latszik ok"},
      {"1 < 2 <3 a<b", "1 2 3 a"},
      {"veg <script>soha", "veg"},
      // Digits are words; a word longer than 40 letters is cut to 40.
      {"QZ1234 7. fordul\xF3", "qz1234 7 fordulo"},
      {"a" + std::string(45, 'b'), "a" + std::string(39, 'b')},
  };
  for (const auto& row : kRows) {
    EXPECT_EQ(wordsOf(row.html), row.words) << row.html;
  }
}

TEST(SearchTextTest, TheSplittingElementsAreLookedUpInOrder) {
  EXPECT_TRUE(std::is_sorted(std::begin(kSplittingElements), std::end(kSplittingElements)));
}

TEST(SearchTextTest, EveryLatinLetterFoldsToLettersAndTheRestSeparate) {
  for (uint32_t code = 0; code < 0x300; ++code) {
    std::string word;
    const bool letter = appendFolded(code, word);
    EXPECT_EQ(letter, !word.empty()) << code;
    for (char c : word) {
      EXPECT_TRUE((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) << code;
    }
  }
  std::string word;
  EXPECT_FALSE(appendFolded(0xD7, word));  // the multiplication sign
  EXPECT_TRUE(appendFolded(0x151, word) && appendFolded(0x171, word));
  EXPECT_EQ(word, "ou");
}

TEST(SearchTextTest, NumbersFollowOneAnotherWithoutSeparators) {
  std::string text;
  const std::vector<uint32_t> numbers = {0, 1, 31, 32, 1023, 1024, 0xFFFFFFFFu, 7};
  for (uint32_t n : numbers) {
    appendNumber(text, n);
  }
  std::vector<uint32_t> read;
  EXPECT_TRUE(readNumbers(text, read));
  EXPECT_EQ(read, numbers);
  EXPECT_EQ(text.find_first_of(" \"\\<'"), std::string::npos);
  read.clear();
  EXPECT_FALSE(readNumbers("GH", read));  // a number not ended
  EXPECT_FALSE(readNumbers("a b", read));
}

}  // namespace
}  // namespace qz
