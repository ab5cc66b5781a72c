#include "search/index_plan.h"

#include <algorithm>

#include "search/index_names.h"

namespace qz {

namespace {

// Why the record cannot be built on, or kNo when it can.
Rebuild distrust(const std::optional<Record>& old, const FolderListing& folder,
                 uint32_t blockTurns) {
  if (!old) {
    return Rebuild::kNoRecord;
  }
  // A file written over in place keeps its size, not its time.
  for (const auto& [name, stamp] : old->files) {
    auto found = folder.find(name);
    if (found == folder.end() || found->second.size != stamp.size ||
        found->second.modified != stamp.modified) {
      return Rebuild::kFileMissing;
    }
  }
  return old->blockTurns == blockTurns ? Rebuild::kNo : Rebuild::kBlockSize;
}

}  // namespace

IndexPlan planIndexUpdate(const std::optional<Record>& old, const FolderListing& folder,
                          const std::vector<TurnFile>& turns, uint32_t blockTurns,
                          bool damagedBlock) {
  IndexPlan plan;
  uint32_t newestOnDisk = 0;
  for (const auto& [name, stamp] : folder) {
    if (std::optional<IndexFileName> parsed = parseFileName(name)) {
      newestOnDisk = std::max(newestOnDisk, parsed->generation);
    }
  }
  plan.rebuild = distrust(old, folder, blockTurns);
  Record before;
  if (plan.rebuild == Rebuild::kNo) {
    before = *old;
  }
  before.blockTurns = blockTurns;

  // Turns whose file is as it was keep their number and title; the rest are
  // read. A turn whose file went or changed leaves its number behind,
  // unused, until so many are that the index is made anew.
  const size_t count = turns.size();
  plan.numbers.assign(count, -1);
  plan.read.assign(count, true);
  plan.titles.assign(count, std::string());
  uint64_t kept = 0;
  for (size_t i = 0; i < count; ++i) {
    auto found = before.turns.find(turns[i].address);
    if (found != before.turns.end() && found->second.size == turns[i].size &&
        found->second.modified == turns[i].modified) {
      plan.numbers[i] = found->second.number;
      plan.titles[i] = found->second.title;
      plan.read[i] = false;
      kept += plan.numbers[i] >= 0 ? 1 : 0;
    }
  }
  const bool reading = std::find(plan.read.begin(), plan.read.end(), true) != plan.read.end();
  const uint64_t unused = before.nextTurn > kept ? before.nextTurn - kept : 0;
  if (plan.rebuild == Rebuild::kNo && unused > kMostUnusedNumbers && unused * 4 > before.nextTurn) {
    plan.rebuild = Rebuild::kUnusedNumbers;
  }
  if (plan.rebuild == Rebuild::kNo && damagedBlock) {
    plan.rebuild = Rebuild::kDamagedBlock;
  }
  const bool rebuilt = plan.rebuild != Rebuild::kNo;
  if (rebuilt) {
    std::fill(plan.numbers.begin(), plan.numbers.end(), -1);
    std::fill(plan.read.begin(), plan.read.end(), true);
    std::fill(plan.titles.begin(), plan.titles.end(), std::string());
  }
  plan.record = rebuilt ? Record() : before;
  plan.record.blockTurns = blockTurns;
  plan.record.turns.clear();
  // With every turn found as it was, the index changes only when a turn it
  // held is gone.
  plan.changed = rebuilt || reading || before.turns.size() != count;
  plan.generation = std::max(before.generation, newestOnDisk) + (plan.changed ? 1 : 0);
  plan.record.generation = plan.generation;

  // New turns go on after the last, in the order the page lists them, into
  // the last block and those after it.
  Record& record = plan.record;
  plan.tooLarge.assign(count, false);
  for (size_t i = 0; i < count; ++i) {
    plan.tooLarge[i] = plan.read[i] && turns[i].size > kLargestTurnRead;
  }
  plan.firstBlock = record.nextTurn / blockTurns;
  for (size_t i = 0; i < count; ++i) {
    if (plan.read[i] && turns[i].size > 0) {
      plan.numbers[i] = record.nextTurn++;
      const size_t b = static_cast<size_t>(plan.numbers[i]) / blockTurns - plan.firstBlock;
      plan.blocks.resize(std::max(plan.blocks.size(), b + 1));
      plan.blocks[b].push_back(i);
    }
  }
  // The last block, when turns go into it, is read back first, and its old
  // files give way to the new generation's.
  plan.reopened = !plan.blocks.empty() && plan.firstBlock < record.blockGenerations.size();
  if (plan.reopened) {
    const uint32_t generation = record.blockGenerations[plan.firstBlock];
    for (auto file = record.files.begin(); file != record.files.end();) {
      std::optional<IndexFileName> name = parseFileName(file->first);
      if (name && name->kind != IndexFileKind::kDocs && name->block == plan.firstBlock &&
          name->generation == generation) {
        plan.reopenedFiles.push_back(file->first);
        file = record.files.erase(file);
      } else {
        ++file;
      }
    }
  }
  record.blockGenerations.resize(
      std::max<size_t>(record.blockGenerations.size(), plan.firstBlock + plan.blocks.size()));
  for (size_t b = 0; b < plan.blocks.size(); ++b) {
    record.blockGenerations[plan.firstBlock + b] = plan.generation;
  }
  if (plan.changed) {
    record.files.erase(record.docsName);
    record.docsName = fileName(docsFile(plan.generation));
  }
  // The files of the record read stay one run more: a page opened before
  // this update may still load them.
  for (const auto& [name, stamp] : folder) {
    if (parseFileName(name) && record.files.count(name) == 0 &&
        (!old || old->files.count(name) == 0)) {
      plan.stale.push_back(name);
    }
  }
  return plan;
}

}  // namespace qz
