#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "run/folder_lock.h"
#include "run/local_files.h"

namespace qz {

FolderLock lockWorkingFolder(const std::string& tempFileName) {
  // A link would lock, and then let the downloads overwrite, a file
  // outside the folder; a FIFO would hang the run.
  removeUnlessRegularFile(tempFileName);
  int fd =
      ::open(tempFileName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0666);
  if (fd < 0) {
    return FolderLock::kNotLockable;
  }
  // flock, not fcntl locks: those would be dropped as soon as any other
  // descriptor of the file, such as the one each download writes through,
  // is closed.
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) {
      continue;
    }
    int err = errno;
    ::close(fd);
    return err == EWOULDBLOCK ? FolderLock::kTakenByOther : FolderLock::kNotLockable;
  }
  return FolderLock::kHeld;  // fd stays open, and the lock with it, until exit
}

}  // namespace qz
