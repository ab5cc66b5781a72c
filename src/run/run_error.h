// The one way a local file failure ends the run: the operation that fails
// throws a FileFailure, which nothing but the top of the program catches;
// there standard output is flushed, the error report written to standard
// error, and the process exits with status 1. Files already saved stay as
// they are, and so does every file of the batch in hand that was written
// whole (DurableBatch keeps them as the exception passes).
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

// A local file that could not be opened, read, created or written: where,
// and the code of the report's table.
class FileFailure : public std::exception {
 public:
  FileFailure(FileFailurePlace place, int code) : place_(place), code_(code) {}
  FileFailurePlace place() const { return place_; }
  int code() const { return code_; }
  const char* what() const noexcept override { return "local file failure"; }

 private:
  FileFailurePlace place_;
  int code_;
};

// Throws FileFailure: the run ends at the top of the program.
[[noreturn]] void failOnFile(FileFailurePlace place, int code);

// The one way out of a run that ends early, for a FileFailure and for any
// other exception that escaped it: flushes standard output, writes the
// report to standard error (EInOutError with the table's message for a file
// failure; "EOutOfMemory" and "Out of memory" for a failed allocation; the
// exception's own words otherwise) and exits with status 1, not waiting
// for requests under way on other threads.
[[noreturn]] void endRunOnException(std::exception_ptr exception);

}  // namespace qz
