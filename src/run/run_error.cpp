#include "run/run_error.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <system_error>
#include <utility>

#include "run/console.h"
#include "run/local_files.h"

namespace qz {

namespace {

// The report's message table: the system's error codes, and its own for a
// full disk and for reading past the end.
constexpr int kFileNotFound = 2, kInvalidFilename = 3, kTooManyOpenFiles = 4, kAccessDenied = 5;
constexpr std::pair<int, const char*> kMessages[] = {
    {kFileNotFound, "File not found"},
    {kInvalidFilename, "Invalid filename"},
    {kTooManyOpenFiles, "Too many open files"},
    {kAccessDenied, "File access denied"},
    {100, "Read beyond end of file"},
    {kDiskFullCode, "Disk full"},
    {106, "Invalid numeric input"},
};

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
  for (const auto& [known, message] : kMessages) {
    if (known == code) {
      return message;
    }
  }
  return "I/O error " + std::to_string(code);
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
      return access == FileAccess::kWriting ? kInvalidFilename : kFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case EISDIR:
    case ELOOP:
    case EINVAL:
      return kInvalidFilename;
    case EMFILE:
    case ENFILE:
      return kTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
      return kAccessDenied;
    case ENOSPC:
    case EFBIG:
#ifdef EDQUOT  // not in every C library (mingw-w64 has none)
    case EDQUOT:
#endif
      return kDiskFullCode;
    default:
      return err;
  }
}

namespace {

// Standard output first, then the report.
void writeReport(const std::string& report) {
  consoleFlush();
  std::fwrite(report.data(), 1, report.size(), stderr);
  std::fflush(stderr);
}

}  // namespace

void failOnFile(FileFailurePlace place, int code) {
  throw FileFailure(place, code);
}

void endRunOnException(std::exception_ptr exception) {
  std::string errorClass = "EExternalException";
  std::string message = "Unknown exception";
  try {
    std::rethrow_exception(exception);
  } catch (const FileFailure& failure) {
    writeReport(fileErrorReport(moduleName(), failure.place(), failure.code()));
    std::exit(1);
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
  std::exit(1);
}

}  // namespace qz
