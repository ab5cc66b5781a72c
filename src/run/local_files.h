// The file operations of a run. Those that return nothing either succeed or
// end the run through endRunOnFileError.
#pragma once

#include <string>
#include <string_view>

namespace qz {

// The separator of folder and file in a path, and every character that
// separates them in a path given to the program.
extern const char kDirectorySeparator;
extern const char* const kPathSeparators;

// The whole content of a file.
std::string readWholeFile(const std::string& path);

// True when something other than a directory exists under that name.
bool fileExists(const std::string& path);
bool directoryExists(const std::string& path);

// Makes one folder; whether it worked is left to the first file created in it.
void makeDirectory(const std::string& path);

// Replaces the file with exactly these bytes. The bytes go to path + ".part"
// first (a stale file or link of that name is removed, never followed), are
// flushed to the disk, and the file is renamed into place, so the name never
// holds a partial file, even after a kill or a power cut. A failure ends the
// run and removes the ".part" file.
void writeWholeFile(const std::string& path, std::string_view bytes);

// Flushes a folder's entries to the disk, so that files renamed into it stay
// after a power cut. Failures are not reported: the files themselves are safe.
void syncDirectory(const std::string& path);

// Removes whatever stands under that name if it is neither a regular file
// nor a folder: a link (never followed), a FIFO, a device. So that a name
// the program writes to always leads to a file of its own in the working
// folder.
void removeUnlessRegularFile(const std::string& path);

// Replaces the file's content with bytes; a failure ends the run. The file is
// overwritten in place and cut to length afterwards, since truncating it
// first costs more than the write on some file systems. A link, FIFO or
// device of that name is replaced by a regular file, never written through.
void overwriteFile(const std::string& path, std::string_view bytes);

}  // namespace qz
