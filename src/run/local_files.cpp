#include "run/local_files.h"

#include <exception>

#include "run/part_files.h"
#include "run/run_error.h"

namespace qz {

DurableBatch::DurableBatch() : exceptionsAtStart_(std::uncaught_exceptions()) {}

DurableBatch::~DurableBatch() {
  if (std::uncaught_exceptions() > exceptionsAtStart_) {
    keepWhole();  // the run ends by an exception, a file failure among them
  }
  for (PartFile& file : files_) {
    closePart(file);
  }
}

void DurableBatch::write(const std::string& path, std::string_view bytes) {
  if (int code = unusableName(path)) {
    failOnFile(FileFailurePlace::kCreating, code);
  }
  files_.push_back(writePart(path, bytes));
}

void DurableBatch::commit() {
  if (files_.empty()) {
    return;
  }
  std::vector<PartFile> files;
  files.swap(files_);
  // The bytes reach the disk before any name does, so that after a power
  // cut a turn's name never stands for a file without its content.
  if (int code = flushParts(files)) {
    for (PartFile& file : files) {
      removePart(file);
    }
    failOnFile(FileFailurePlace::kWriting, code);
  }
  for (size_t i = 0; i < files.size(); ++i) {
    if (int code = renamePart(files[i])) {
      removePart(files[i]);
      // Those after it are whole and on the disk: they keep their names.
      for (size_t j = i + 1; j < files.size(); ++j) {
        renamePart(files[j]);
      }
      flushFolders(files);
      failOnFile(FileFailurePlace::kRenaming, code);
    }
  }
  flushFolders(files);
}

// Every file of the batch gets its name, once flushed; failures passed over.
void DurableBatch::keepWhole() {
  std::vector<PartFile> files;
  files.swap(files_);
  if (files.empty() || flushParts(files) != 0) {
    return;  // not on the disk: no name for them
  }
  for (const PartFile& file : files) {
    renamePart(file);
  }
  flushFolders(files);
}

}  // namespace qz
