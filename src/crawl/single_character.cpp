#include "crawl/single_character.h"

#include "crawl/turn_archive.h"
#include "crawl/turn_list.h"
#include "run/console.h"

namespace qz {

void archiveSingleCharacter(RunState& state, std::string_view character) {
  consoleWrite(character);
  collectTurnList(state, character);
  if (state.turnList.count() == 0) {
    return;
  }
  consoleWrite(" Fordulok szama: ");
  consoleWriteInt(static_cast<int64_t>(state.turnList.count()));
  consoleWriteLineEnd();
  archiveTurns(state, character);
}

}  // namespace qz
