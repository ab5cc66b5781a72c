#include "search/search_text.h"

#include <gtest/gtest.h>

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
      {"<P>egy<BR>kett\xF5</P><B>h\xE1</B>rom", "egy ketto ha rom"},
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
