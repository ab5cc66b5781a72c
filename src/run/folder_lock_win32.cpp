#include <windows.h>

#include "run/folder_lock.h"
#include "run/local_files.h"

namespace qz {

FolderLock lockWorkingFolder(const std::string& tempFileName) {
  // A link would lock, and then let the downloads overwrite, a file
  // outside the folder.
  removeUnlessRegularFile(tempFileName);
  HANDLE file =
      CreateFileA(tempFileName.c_str(), GENERIC_READ | GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return FolderLock::kNotLockable;
  }
  // Windows' locks bar every other handle, ours included, from the bytes
  // they cover; one byte far past any page leaves the file's content free
  // for the downloads.
  OVERLAPPED where{};
  where.Offset = 0;
  where.OffsetHigh = 0x7FFFFFFF;
  if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &where)) {
    DWORD err = GetLastError();
    CloseHandle(file);
    return err == ERROR_LOCK_VIOLATION || err == ERROR_IO_PENDING ? FolderLock::kTakenByOther
                                                                  : FolderLock::kNotLockable;
  }
  return FolderLock::kHeld;  // the handle stays open, and the lock with it, until exit
}

}  // namespace qz
