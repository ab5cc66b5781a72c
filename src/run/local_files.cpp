#include "run/local_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "run/run_error.h"

namespace qz {

namespace {

std::string pendingFileName(const std::string& path) { return path + ".part"; }

[[noreturn]] void failWrite(FileFailurePlace place, int err, const std::string& pending) {
  ::unlink(pending.c_str());
  endRunOnFileError(place, codeForWriteErrno(err));
}

}  // namespace

std::string readWholeFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    endRunOnFileError(FileFailurePlace::kOpenForReading, codeForReadErrno(errno));
  }
  std::string content;
  struct stat info;
  if (::fstat(fd, &info) == 0 && info.st_size > 0) {
    content.reserve(static_cast<size_t>(info.st_size) + 3);
  }
  char buffer[65536];
  for (;;) {
    ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      int err = errno;
      ::close(fd);
      endRunOnFileError(FileFailurePlace::kReading, codeForReadErrno(err));
    }
    if (got == 0) {
      break;
    }
    content.append(buffer, static_cast<size_t>(got));
  }
  ::close(fd);
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

void makeDirectory(const std::string& path) {
  ::mkdir(path.c_str(), 0777);
}

void writeWholeFile(const std::string& path, std::string_view bytes) {
  std::string pending = pendingFileName(path);
  int fd = ::open(pending.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    endRunOnFileError(FileFailurePlace::kCreating, codeForWriteErrno(errno));
  }
  size_t written = 0;
  while (written < bytes.size()) {
    ssize_t put = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (put < 0 && errno == EINTR) {
      continue;
    }
    if (put <= 0) {
      // A write that stores nothing without an error is a full disk too.
      int err = put < 0 ? errno : ENOSPC;
      ::close(fd);
      failWrite(FileFailurePlace::kWriting, err, pending);
    }
    written += static_cast<size_t>(put);
  }
  if (::close(fd) != 0) {
    failWrite(FileFailurePlace::kClosing, errno, pending);
  }
  if (::rename(pending.c_str(), path.c_str()) != 0) {
    failWrite(FileFailurePlace::kRenaming, errno, pending);
  }
}

}  // namespace qz
