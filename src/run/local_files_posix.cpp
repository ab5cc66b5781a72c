#include "run/local_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "run/part_files.h"
#include "run/run_error.h"

namespace qz {

namespace {

// Writes all of bytes to fd; false with errno set when it cannot. A write
// that stores nothing without an error counts as a full disk.
bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t put = ::write(fd, bytes.data(), bytes.size());
    if (put < 0 && errno == EINTR) {
      continue;
    }
    if (put <= 0) {
      if (put == 0) {
        errno = ENOSPC;
      }
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(put));
  }
  return true;
}

[[noreturn]] void failWrite(FileFailurePlace place, int err, const std::string& pending) {
  ::unlink(pending.c_str());
  failOnFile(place, fileErrorCode(err, FileAccess::kWriting));
}

}  // namespace

const char kDirectorySeparator = '/';
const char* const kPathSeparators = "/";

std::string readWholeFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    failOnFile(FileFailurePlace::kOpenForReading, fileErrorCode(errno, FileAccess::kReading));
  }
  // Sized from the directory entry and read in place; a file that grows
  // meanwhile is read to its end all the same.
  struct stat info;
  size_t expected =
      ::fstat(fd, &info) == 0 && info.st_size > 0 ? static_cast<size_t>(info.st_size) : 0;
  std::string content(expected + 1, '\0');
  size_t got = 0;
  for (;;) {
    if (got == content.size()) {
      content.resize(content.size() * 2);
    }
    ssize_t read = ::read(fd, content.data() + got, content.size() - got);
    if (read < 0 && errno == EINTR) {
      continue;
    }
    if (read < 0) {
      int err = errno;
      ::close(fd);
      failOnFile(FileFailurePlace::kReading, fileErrorCode(err, FileAccess::kReading));
    }
    if (read == 0) {
      break;
    }
    size_t asked = content.size() - got;
    got += static_cast<size_t>(read);
    if (static_cast<size_t>(read) < asked) {
      break;  // a short read of a regular file is its end
    }
  }
  ::close(fd);
  content.resize(got);
  return content;
}

bool fileExists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool directoryExists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool isLink(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

bool isEmptyFile(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size == 0;
}

std::vector<FolderEntry> listFolder(const std::string& path, bool foldersThroughLinks) {
  std::vector<FolderEntry> entries;
  DIR* folder = ::opendir(path.c_str());
  if (folder == nullptr) {
    return entries;
  }
  int fd = ::dirfd(folder);
  while (const dirent* entry = ::readdir(folder)) {
    std::string_view name = entry->d_name;
    if (name == "." || name == "..") {
      continue;
    }
    struct stat info;
    if (::fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
      continue;
    }
    if (S_ISLNK(info.st_mode) && foldersThroughLinks &&
        (::fstatat(fd, entry->d_name, &info, 0) != 0 || !S_ISDIR(info.st_mode))) {
      continue;
    }
    if (!S_ISDIR(info.st_mode) && !S_ISREG(info.st_mode)) {
      continue;
    }
    entries.push_back(
        {std::string(name), S_ISDIR(info.st_mode), static_cast<unsigned long long>(info.st_size),
         static_cast<long long>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec});
  }
  ::closedir(folder);
  return entries;
}

std::string readFileHead(const std::string& path, size_t maxBytes) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) {
    return {};
  }
  std::string head(maxBytes, '\0');
  ssize_t got = ::read(fd, head.data(), maxBytes);
  ::close(fd);
  head.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return head;
}

void makeDirectory(const std::string& path) {
  ::mkdir(path.c_str(), 0777);
}

int unusableName(const std::string& path) {
  struct stat info;
  if (::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    return fileErrorCode(EISDIR, FileAccess::kWriting);
  }
  return 0;
}

PartFile writePart(const std::string& path, std::string_view bytes) {
  std::string part = partFileName(path);
  // A stale ".part" of a killed run, or a link planted under that name, is
  // removed rather than followed or appended to.
  ::unlink(part.c_str());
  int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) {
    failOnFile(FileFailurePlace::kCreating, fileErrorCode(errno, FileAccess::kWriting));
  }
  if (!writeAll(fd, bytes)) {
    int err = errno;
    ::close(fd);
    failWrite(FileFailurePlace::kWriting, err, part);
  }
  if (::close(fd) != 0) {
    failWrite(FileFailurePlace::kClosing, errno, part);
  }
  size_t slash = path.find_last_of(kPathSeparators);
  return {path, slash == std::string::npos ? "." : path.substr(0, slash), -1};
}

// Opens path with flags and flushes it by sync (fsync for what it holds,
// syncfs for its whole file system): 0, or the report's error code.
int flushOpened(const std::string& path, int flags, int (*sync)(int)) {
  int fd = ::open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0 || sync(fd) != 0) {
    int err = errno;
    if (fd >= 0) {
      ::close(fd);
    }
    return fileErrorCode(err, FileAccess::kWriting);
  }
  ::close(fd);
  return 0;
}

// The data of every file written so far on the file systems of the parts
// made durable: one syncfs for each file system the batch writes to (the
// search index may be a mount of its own), where a flush per file would
// cost as much as a request each. Systems without it flush the files one
// by one.
int flushParts(std::vector<PartFile>& files) {
#if defined(QZTURNS_BENCH_NO_FLUSH)
  (void)files;
  return 0;
#elif defined(__linux__)
  std::vector<dev_t> flushed;
  for (const PartFile& file : files) {
    struct stat info;
    const bool known = ::stat(file.folder.c_str(), &info) == 0;
    if (known && std::find(flushed.begin(), flushed.end(), info.st_dev) != flushed.end()) {
      continue;
    }
    if (int code = flushOpened(file.folder, O_RDONLY | O_DIRECTORY, ::syncfs)) {
      return code;
    }
    if (known) {
      flushed.push_back(info.st_dev);
    }
  }
  return 0;
#else
  for (const PartFile& file : files) {
    if (int code = flushOpened(partFileName(file.path), O_WRONLY | O_NOFOLLOW, ::fsync)) {
      return code;
    }
  }
  return 0;
#endif
}

int renamePart(const PartFile& file) {
  if (::rename(partFileName(file.path).c_str(), file.path.c_str()) != 0) {
    return fileErrorCode(errno, FileAccess::kWriting);
  }
  return 0;
}

void removePart(PartFile& file) {
  ::unlink(partFileName(file.path).c_str());
}

void closePart(PartFile&) {}  // nothing is kept open

void flushFolders(const std::vector<PartFile>& files) {
#ifndef QZTURNS_BENCH_NO_FLUSH
  std::vector<std::string> done;
  for (const PartFile& file : files) {
    if (std::find(done.begin(), done.end(), file.folder) != done.end()) {
      continue;
    }
    done.push_back(file.folder);
    flushOpened(file.folder, O_RDONLY | O_DIRECTORY, ::fsync);
  }
#else
  (void)files;
#endif
}

void removeUnlessRegularFile(const std::string& path) {
  struct stat info;
  if (::lstat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) {
    ::unlink(path.c_str());
  }
}

namespace {

// Opens path for writing, created when missing, as a regular file and
// nothing else: O_NOFOLLOW refuses a link, O_NONBLOCK keeps a FIFO from
// hanging the open, and whatever else is found there is removed and the
// open made again.
int openRegularFile(const std::string& path) {
  for (int attempt = 0;; ++attempt) {
    removeUnlessRegularFile(path);
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0666);
    if (fd < 0) {
      if ((errno == ELOOP || errno == ENXIO) && attempt == 0) {
        continue;  // put there between the look and the open
      }
      return -1;
    }
    struct stat info;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
      return fd;
    }
    ::close(fd);
    if (attempt > 0) {
      errno = EACCES;
      return -1;
    }
    ::unlink(path.c_str());
  }
}

}  // namespace

void overwriteFile(const std::string& path, std::string_view bytes) {
  int fd = openRegularFile(path);
  if (fd < 0) {
    failOnFile(FileFailurePlace::kCreating, fileErrorCode(errno, FileAccess::kWriting));
  }
  if (!writeAll(fd, bytes) || ::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0) {
    int err = errno;
    ::close(fd);
    failOnFile(FileFailurePlace::kWriting, fileErrorCode(err, FileAccess::kWriting));
  }
  if (::close(fd) != 0) {
    failOnFile(FileFailurePlace::kClosing, fileErrorCode(errno, FileAccess::kWriting));
  }
}

}  // namespace qz
