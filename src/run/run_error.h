// The one way a local file failure ends the run: flush standard output, write
// the error report to standard error and exit with status 1. Files already
// saved stay as they are.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace qz {

// The code of the report's message table for a full disk (the table is in
// run_error.cpp): what a platform's own code for it becomes.
inline constexpr int kDiskFullCode = 101;

// The places that can fail; each prints its own fixed code address.
enum class FileFailurePlace : uint32_t {
  kOpenForReading = 0x00403A10,
  kReading = 0x00403A58,
  kCreating = 0x00404C20,
  kWriting = 0x00404C64,
  kClosing = 0x00404CA8,
  kRenaming = 0x00404CE0,
};

// Where the run ends on an exception nothing else caught.
inline constexpr uint32_t kUnexpectedAddress = 0x00402A1C;

// Remembers the program's file name (without its folder) for the report.
void setModuleName(const std::string& argv0);

// The message for an error code, without the closing ".".
std::string fileErrorMessage(int code);

// The whole report, as written to standard error.
std::string fileErrorReport(const std::string& moduleName, FileFailurePlace place, int code);
// A report of that form for any error class and message.
std::string errorReport(const std::string& moduleName, const std::string& errorClass,
                        uint32_t address, const std::string& message);

enum class FileAccess { kReading, kWriting };

// Maps errno of a failed file operation onto the table's codes; a code the
// table lacks is passed on as it is.
int fileErrorCode(int err, FileAccess access);

// Flushes standard output, writes the report to standard error, lets the
// salvage (if one is set) keep what can be kept, and exits with status 1.
[[noreturn]] void endRunOnFileError(FileFailurePlace place, int code);

// The one way out for an exception that escaped the run: as a file failure
// does, flushes standard output, writes a report in the same form to
// standard error ("EOutOfMemory" and "Out of memory" for a failed
// allocation, the exception's own words otherwise) and exits with status 1.
[[noreturn]] void endRunOnException(std::exception_ptr exception);

// What to do before a run that ends on a file failure exits: a batch of
// turn files written whole but not yet given their names gets them. It must
// not fail loudly; nullptr for nothing.
void setFileErrorSalvage(void (*salvage)());

}  // namespace qz
