#include "run/run_error.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <system_error>

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

std::string errorReport(const std::string& module, const std::string& errorClass, uint32_t address,
                        const std::string& message) {
  char where[16];
  std::snprintf(where, sizeof where, "%08X", address);
  std::string report =
      "Exception " + errorClass + " in module " + module + " at " + where + ".\r\n";
  report += message;
  if (message.empty() || message.back() != '.') {
    report += '.';
  }
  report += "\r\n\r\n";
  return report;
}

std::string fileErrorReport(const std::string& module, FileFailurePlace place, int code) {
  return errorReport(module, "EInOutError", static_cast<uint32_t>(place), fileErrorMessage(code));
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

namespace {

// Standard output first, then the report.
void writeReport(const std::string& report) {
  consoleFlush();
  std::fwrite(report.data(), 1, report.size(), stderr);
  std::fflush(stderr);
}

}  // namespace

void endRunOnException(std::exception_ptr exception) {
  std::string errorClass = "EExternalException";
  std::string message = "Unknown exception";
  try {
    std::rethrow_exception(exception);
  } catch (const std::bad_alloc&) {
    errorClass = "EOutOfMemory";
    message = "Out of memory";
  } catch (const std::system_error& error) {
    errorClass = "EOSError";
    message = error.code().message();
  } catch (const std::exception& error) {
    message = error.what();
  } catch (...) {
  }
  writeReport(errorReport(moduleName(), errorClass, kUnexpectedAddress, message));
  if (void (*salvage)() = fileErrorSalvage) {
    fileErrorSalvage = nullptr;
    salvage();
  }
  std::exit(1);
}

void endRunOnFileError(FileFailurePlace place, int code) {
  writeReport(fileErrorReport(moduleName(), place, code));
  std::fflush(stderr);
  if (void (*salvage)() = fileErrorSalvage) {
    fileErrorSalvage = nullptr;  // once, even if it meets a failure of its own
    salvage();
  }
  std::exit(1);
}

}  // namespace qz
