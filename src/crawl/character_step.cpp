#include "crawl/character_step.h"

#include "crawl/turn_archive.h"
#include "crawl/turn_list.h"
#include "run/console.h"

namespace qz {

void archiveCharacter(RunState& state, Fetcher& fetcher, std::string_view character,
                      WithoutTurns withoutTurns) {
  consoleWrite(character);
  collectTurnList(state, fetcher, character);
  if (state.turnList.count() == 0 && withoutTurns == WithoutTurns::kNothingMore) {
    return;
  }
  consoleWrite(" Fordulok szama: ");
  consoleWriteInt(static_cast<int64_t>(state.turnList.count()));
  consoleWriteLineEnd();
  archiveTurns(state, fetcher, character);
}

}  // namespace qz
