#include "run/run_error.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "run/console.h"
#include "run/local_files.h"

namespace qz {

namespace {

std::string& moduleName() {
  static std::string name = "qzturns";
  return name;
}

}  // namespace

void setModuleName(const std::string& argv0) {
  size_t slash = argv0.find_last_of(kPathSeparators);
  moduleName() = slash == std::string::npos ? argv0 : argv0.substr(slash + 1);
}

std::string fileErrorMessage(int code) {
  switch (code) {
    case 2:
      return "File not found";
    case 3:
      return "Invalid filename";
    case 4:
      return "Too many open files";
    case 5:
      return "File access denied";
    case 100:
      return "Read beyond end of file";
    case 101:
      return "Disk full";
    case 106:
      return "Invalid numeric input";
    default:
      return "I/O error " + std::to_string(code);
  }
}

std::string fileErrorReport(const std::string& module, FileFailurePlace place, int code) {
  char address[16];
  std::snprintf(address, sizeof address, "%08X", static_cast<uint32_t>(place));
  std::string message = fileErrorMessage(code);
  std::string report = "Exception EInOutError in module " + module + " at " + address + ".\r\n";
  report += message;
  if (message.empty() || message.back() != '.') {
    report += '.';
  }
  report += "\r\n\r\n";
  return report;
}

int fileErrorCode(int err, FileAccess access) {
  switch (err) {
    case ENOENT:
      // A missing folder on the way to a new file is a path that cannot be
      // used, not a file that is missing.
      return static_cast<int>(access == FileAccess::kWriting ? FileErrorCode::kInvalidFilename
                                                             : FileErrorCode::kFileNotFound);
    case ENOTDIR:
    case ENAMETOOLONG:
    case EISDIR:
    case ELOOP:
    case EINVAL:
      return static_cast<int>(FileErrorCode::kInvalidFilename);
    case EMFILE:
    case ENFILE:
      return static_cast<int>(FileErrorCode::kTooManyOpenFiles);
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
      return static_cast<int>(FileErrorCode::kAccessDenied);
    case ENOSPC:
    case EFBIG:
#ifdef EDQUOT  // not in every C library (mingw-w64 has none)
    case EDQUOT:
#endif
      return static_cast<int>(FileErrorCode::kDiskFull);
    default:
      return err;
  }
}

namespace {

void (*fileErrorSalvage)() = nullptr;

}  // namespace

void setFileErrorSalvage(void (*salvage)()) {
  fileErrorSalvage = salvage;
}

void endRunOnFileError(FileFailurePlace place, int code) {
  consoleFlush();
  std::string report = fileErrorReport(moduleName(), place, code);
  std::fwrite(report.data(), 1, report.size(), stderr);
  std::fflush(stderr);
  if (void (*salvage)() = fileErrorSalvage) {
    fileErrorSalvage = nullptr;  // once, even if it meets a failure of its own
    salvage();
  }
  std::exit(1);
}

}  // namespace qz
