// The search index of one block of turns, as the page loads it: for each
// word, the turns of the block that hold it, and where in each turn it
// stands (for phrases), in scripts by the word's first two letters and by a
// hash of the word. The bytes of each script: FORMAT.md.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace qz {

// The first line of every file of the index, by which a later run knows it
// as its own.
inline constexpr std::string_view kSearchFileMarker = "/* qzturns search index */";

// The shard a word's turns belong to: its first two letters, or itself when
// shorter.
std::string_view shardKey(std::string_view word);

// The script a word's places belong to: one of kPlaceBuckets, by a hash of
// the word (FNV-1a, as the page computes it), so that a phrase loads only
// the places of its own words.
inline constexpr uint32_t kPlaceBuckets = 256;
uint32_t placeBucket(std::string_view word);

// The digits of numbers as the index writes them: neither alphabet holds a
// space, a quote, a backslash or "<", so the text stands in a script as it is.
inline constexpr std::string_view kLastDigit = "abcdefghijklmnopqrstuvwxyzABCDEF";
inline constexpr std::string_view kMoreDigit = "GHIJKLMNOPQRSTUVWXYZ0123456789-.";

// Numbers as the index writes them (FORMAT.md, "Numbers").
void appendNumber(std::string& out, uint32_t value);
// The numbers of text in order; false when text is no such sequence.
bool readNumbers(std::string_view text, std::vector<uint32_t>& numbers);

class BlockIndex {
 public:
  // Adds the words of one turn, by its number within the block; turns are
  // added in rising number.
  void addTurn(uint32_t turn, std::string_view html);

  // Takes in the turns of later, all numbered after this index's own (two
  // halves of a block, made at once by two threads).
  void append(BlockIndex&& later);

  // Takes in one script of a block written before (its turns or its
  // places, as placeScript says), so that turns added next come after its
  // turns; false when the script is not one this program writes. Once all
  // are in, whole() says whether every word came with both.
  bool takeScript(std::string_view script, bool placeScript);
  bool whole() const;

  // Calls onScript(fileName, script) for every script of the block, each
  // whole, named as the block's files of that generation: the shards of its
  // words' turns, then the places of its words. The index is emptied as it
  // goes.
  template <typename OnScript>
  void takeScripts(uint32_t block, uint32_t generation, OnScript&& onScript);

 private:
  struct Word {
    std::string text;
    std::string turns;   // the gaps between the turns that hold it
    std::string places;  // for each of those turns: count, then gaps
    int64_t lastTurn = -1;
    std::vector<uint32_t> pending;  // its places in the turn being added
  };

  // The word of that text, added when new. An open-addressed table of
  // hashes: a block's words are a few hundred thousand, looked up once for
  // every word of every turn.
  Word& wordOf(std::string_view text);

  void eachScript(uint32_t block, uint32_t generation,
                  void (*sink)(void*, const std::string&, const std::string&), void* context);

  std::vector<Word> words_;
  std::vector<uint64_t> slotHashes_;
  std::vector<uint32_t> slotWords_;  // index into words_ + 1; 0 for a free slot
  std::vector<uint32_t> inTurn_;     // the words of the turn being added
};

template <typename OnScript>
void BlockIndex::takeScripts(uint32_t block, uint32_t generation, OnScript&& onScript) {
  using Function = std::remove_reference_t<OnScript>;
  eachScript(
      block, generation,
      [](void* f, const std::string& name, const std::string& script) {
        (*static_cast<Function*>(f))(name, script);
      },
      const_cast<void*>(static_cast<const void*>(&onScript)));
}

// A whole script of the index: the marker line and one qzIndex call.
std::string shardScript(const std::string& name, std::string_view text);
// The text of a script shardScript() wrote; false for anything else.
bool shardText(std::string_view script, std::string_view& text);

}  // namespace qz
