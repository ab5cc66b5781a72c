// The file operations of a run. Those that return nothing either succeed or
// end the run by throwing FileFailure (run_error.h).
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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
// True when the name itself is a link (a symbolic link, or on Windows any
// reparse point, a junction among them), whatever it leads to.
bool isLink(const std::string& path);
// True for a file that exists and holds no byte.
bool isEmptyFile(const std::string& path);

// One entry of a folder.
struct FolderEntry {
  std::string name;
  bool isFolder = false;
  unsigned long long size = 0;  // bytes, for a file
  long long modified = 0;       // last write, in the platform's own ticks
};

// The entries of a folder that are files or folders, "." and ".." left
// out, in no set order; empty when the folder cannot be read. A link to a
// folder is listed as a folder when foldersThroughLinks is true; other
// links are left out.
std::vector<FolderEntry> listFolder(const std::string& path, bool foldersThroughLinks = false);

// At most maxBytes from the start of a file; empty when it cannot be read.
std::string readFileHead(const std::string& path, size_t maxBytes);

// Makes one folder; whether it worked is left to the first file created in it.
void makeDirectory(const std::string& path);

// One file of a DurableBatch: its final name, the folder that holds it, and
// the handle the platform keeps open until the batch's flush (-1 for none).
struct PartFile {
  std::string path;
  std::string folder;
  intptr_t handle = -1;
};

// Files written so that no name ever stands for bytes that are not on the
// disk, at one flush per batch rather than one per file. write() puts a
// file's bytes under its name + ".part" (a stale file or link of that name
// is removed, never followed); commit() makes the data of every file of the
// batch durable at once, renames each into place, and flushes the folders
// that hold them. A kill or a power cut before commit() loses the batch's
// files, whose ".part" names nothing counts and the next write replaces.
//
// A failure ends the run (FileFailure), as a file written at once would:
// write() fails for a name that cannot take a file (a folder stands there)
// before it writes anything, so the failure comes with the file it belongs
// to. Whatever fails, every file of the batch written whole gets its name,
// once its data is flushed, but the one that failed: a batch destroyed by
// an exception keeps them so. A batch left uncommitted otherwise keeps only
// its ".part" files. Not for threads.
class DurableBatch {
 public:
  DurableBatch();
  ~DurableBatch();
  DurableBatch(const DurableBatch&) = delete;
  DurableBatch& operator=(const DurableBatch&) = delete;

  void write(const std::string& path, std::string_view bytes);
  void commit();
  // How many files wait for commit().
  size_t size() const { return files_.size(); }
  // True when path waits for commit(): it counts as there already.
  bool holds(const std::string& path) const {
    return std::any_of(files_.begin(), files_.end(),
                       [&](const PartFile& file) { return file.path == path; });
  }

 private:
  void keepWhole();

  std::vector<PartFile> files_;  // in the order written
  int exceptionsAtStart_;
};

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
