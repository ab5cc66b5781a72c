// The platform's part of DurableBatch (local_files.h): the files under their
// ".part" names. local_files_posix.cpp and local_files_win32.cpp make them;
// local_files.cpp keeps the batch's rules. Error codes are those of the
// report's table (run_error.h), 0 for none.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "run/local_files.h"

namespace qz {

// The name a file has until its batch is flushed.
inline std::string partFileName(const std::string& path) {
  return path + ".part";
}

// The code with which path cannot take a file, such as a folder standing
// there; 0 when it can.
int unusableName(const std::string& path);

// Writes bytes to path + ".part", a stale file or link of that name removed
// and never followed. Ends the run on failure, the part removed.
PartFile writePart(const std::string& path, std::string_view bytes);

// Makes the data of the parts durable and closes their handles.
int flushParts(std::vector<PartFile>& files);

// Gives a flushed part its final name, replacing what stood there.
int renamePart(const PartFile& file);

// Closes the part's handle, if it has one, and removes it.
void removePart(PartFile& file);
// Closes the part's handle, if it has one; the part stays.
void closePart(PartFile& file);

// Flushes the folders of the files to the disk, so that their new names
// stay after a power cut. Failures are not told: the files are safe under
// one name or the other.
void flushFolders(const std::vector<PartFile>& files);

}  // namespace qz
