#include "reader/search_page.h"

#include "search/block_index.h"
#include "search/index_names.h"
#include "search/search_text.h"

namespace qz {

std::string searchBox(const SearchIndexInfo& info) {
  std::string box = "<div id=\"search\" data-index=\"" + info.docsScript + "\" data-blocks=\"";
  for (size_t i = 0; i < info.blockGenerations.size(); ++i) {
    box += i ? " " : "";
    box += std::to_string(info.blockGenerations[i]);
  }
  box += "\" data-block-size=\"" + std::to_string(info.blockTurns) +
         "\">\n<input id=\"q\" type=\"search\" placeholder=\"Keres\xE9s a fordul\xF3kban\" "
         "autocomplete=\"off\" aria-label=\"Keres\xE9s\">\n<p id=\"found\"></p>\n"
         "<ol id=\"results\"></ol>\n<button id=\"more\" hidden>T\xF6"
         "bb</button>\n</div>\n";
  return box;
}

std::string pageConstants() {
  std::string constants = "var QZ = {folds: '" + std::string(kLatinFolds) + "', pairs: [";
  for (std::string_view pair : kFoldedPairs) {
    constants.append(constants.back() == '[' ? "'" : ", '").append(pair).append("'");
  }
  constants += "], longest: " + std::to_string(kLongestWord) +
               ", buckets: " + std::to_string(kPlaceBuckets) + ", lastDigit: '" +
               std::string(kLastDigit) + "', moreDigit: '" + std::string(kMoreDigit) +
               "', names: " + pagePatterns() + "};";
  return constants;
}

}  // namespace qz
