// One run per working folder: a run holds an exclusive lock on its temp file
// for its whole course, so that a second run in the same folder cannot
// overwrite the page the first is about to read. The operating system lets
// the lock go when the process ends, however it ends.
#pragma once

#include <string>

namespace qz {

enum class FolderLock {
  kHeld,          // this run has the folder to itself
  kTakenByOther,  // another run holds it: this one must not start
  kNotLockable,   // the temp file cannot be opened; its first use will report why
};

// Takes the lock on the temp file, creating the file when missing; does not
// wait for another run. The lock is kept until the process ends.
FolderLock lockWorkingFolder(const std::string& tempFileName);

// The line written to standard error when another run has the folder.
inline constexpr const char* kFolderInUseMessage =
    "qzturns: another qzturns run is using this folder; try again when it has ended.\r\n";

}  // namespace qz
