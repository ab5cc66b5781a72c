// The file operations on the Win32 API. The byte-string (ANSI) calls are
// used throughout: a turn file's name is made of the bytes a page gave, in
// the site's own code page, and these calls put the very same bytes on the
// disk that the archive's earlier runs put there, so a turn saved before is
// found again and never fetched twice.
#include <windows.h>

#include <cstdint>

#include "run/local_files.h"
#include "run/part_files.h"
#include "run/run_error.h"

namespace qz {

namespace {

// Maps GetLastError onto the report's table: the table's own codes are
// Windows' codes, bar the full disk.
int windowsErrorCode(DWORD err) {
  switch (err) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return kDiskFullCode;
    default:
      return static_cast<int>(err);
  }
}

[[noreturn]] void endRun(FileFailurePlace place, DWORD err) {
  failOnFile(place, windowsErrorCode(err));
}

// Writes all of bytes; false with the last error set when it cannot. A write
// that stores fewer bytes than asked without an error counts as a full disk.
bool writeAll(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD piece = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1 << 30));
    DWORD put = 0;
    if (!WriteFile(file, bytes.data(), piece, &put, nullptr)) {
      return false;
    }
    if (put == 0) {
      SetLastError(ERROR_DISK_FULL);
      return false;
    }
    bytes.remove_prefix(put);
  }
  return true;
}

[[noreturn]] void failWrite(FileFailurePlace place, DWORD err, HANDLE file,
                            const std::string& pending) {
  if (file != INVALID_HANDLE_VALUE) {
    CloseHandle(file);
  }
  DeleteFileA(pending.c_str());
  endRun(place, err);
}

}  // namespace

const char kDirectorySeparator = '\\';
const char* const kPathSeparators = "\\/";

std::string readWholeFile(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    endRun(FileFailurePlace::kOpenForReading, GetLastError());
  }
  LARGE_INTEGER size{};
  GetFileSizeEx(file, &size);
  std::string content(static_cast<size_t>(size.QuadPart > 0 ? size.QuadPart : 0) + 1, '\0');
  size_t got = 0;
  for (;;) {
    if (got == content.size()) {
      content.resize(content.size() * 2);
    }
    DWORD asked = static_cast<DWORD>(std::min<size_t>(content.size() - got, 1 << 30));
    DWORD read = 0;
    if (!ReadFile(file, content.data() + got, asked, &read, nullptr)) {
      DWORD err = GetLastError();
      CloseHandle(file);
      endRun(FileFailurePlace::kReading, err);
    }
    got += read;
    if (read < asked) {
      break;  // a short read of a file is its end
    }
  }
  CloseHandle(file);
  content.resize(got);
  return content;
}

bool fileExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool directoryExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool isLink(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool isEmptyFile(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  return GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) &&
         (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && data.nFileSizeHigh == 0 &&
         data.nFileSizeLow == 0;
}

std::vector<FolderEntry> listFolder(const std::string& path, bool foldersThroughLinks) {
  std::vector<FolderEntry> entries;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    return entries;
  }
  do {
    std::string name = found.cFileName;
    const bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool link = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (name == "." || name == ".." || (link && !(folder && foldersThroughLinks))) {
      continue;
    }
    entries.push_back(
        {name, folder,
         (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow,
         static_cast<long long>(
             (static_cast<unsigned long long>(found.ftLastWriteTime.dwHighDateTime) << 32) |
             found.ftLastWriteTime.dwLowDateTime)});
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return entries;
}

std::string readFileHead(const std::string& path, size_t maxBytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return {};
  }
  std::string head(maxBytes, '\0');
  DWORD got = 0;
  if (!ReadFile(file, head.data(), static_cast<DWORD>(maxBytes), &got, nullptr)) {
    got = 0;
  }
  CloseHandle(file);
  head.resize(got);
  return head;
}

void makeDirectory(const std::string& path) {
  CreateDirectoryA(path.c_str(), nullptr);
}

int unusableName(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return windowsErrorCode(ERROR_ACCESS_DENIED);  // what creating a file there gives
  }
  return 0;
}

PartFile writePart(const std::string& path, std::string_view bytes) {
  std::string part = partFileName(path);
  // A stale ".part" of a killed run, or a link planted under that name, is
  // removed (DeleteFile takes the link, not its target) and made anew.
  DeleteFileA(part.c_str());
  HANDLE file = CreateFileA(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    endRun(FileFailurePlace::kCreating, GetLastError());
  }
  if (!writeAll(file, bytes)) {
    failWrite(FileFailurePlace::kWriting, GetLastError(), file, part);
  }
  // Kept open until the batch's flush, so that the flushes go out together.
  return {path, {}, reinterpret_cast<intptr_t>(file)};
}

int flushParts(std::vector<PartFile>& files) {
  int code = 0;
  for (PartFile& file : files) {
    HANDLE handle = reinterpret_cast<HANDLE>(file.handle);
    if (handle == INVALID_HANDLE_VALUE) {
      continue;
    }
    if ((!FlushFileBuffers(handle) || !CloseHandle(handle)) && code == 0) {
      code = windowsErrorCode(GetLastError());
    }
    file.handle = reinterpret_cast<intptr_t>(INVALID_HANDLE_VALUE);
  }
  return code;
}

// Write-through makes each rename durable as it is made.
int renamePart(const PartFile& file) {
  if (!MoveFileExA(partFileName(file.path).c_str(), file.path.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return windowsErrorCode(GetLastError());
  }
  return 0;
}

void closePart(PartFile& file) {
  HANDLE handle = reinterpret_cast<HANDLE>(file.handle);
  if (handle != INVALID_HANDLE_VALUE) {
    CloseHandle(handle);
    file.handle = reinterpret_cast<intptr_t>(INVALID_HANDLE_VALUE);
  }
}

void removePart(PartFile& file) {
  closePart(file);
  DeleteFileA(partFileName(file.path).c_str());
}

void flushFolders(const std::vector<PartFile>&) {}  // each rename went through already

void removeUnlessRegularFile(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return;
  }
  // The link itself goes, never what it leads to.
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    RemoveDirectoryA(path.c_str());
  } else {
    DeleteFileA(path.c_str());
  }
}

void overwriteFile(const std::string& path, std::string_view bytes) {
  removeUnlessRegularFile(path);
  HANDLE file =
      CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    endRun(FileFailurePlace::kCreating, GetLastError());
  }
  if (GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    endRun(FileFailurePlace::kCreating, ERROR_ACCESS_DENIED);
  }
  if (!writeAll(file, bytes) || !SetEndOfFile(file)) {
    DWORD err = GetLastError();
    CloseHandle(file);
    endRun(FileFailurePlace::kWriting, err);
  }
  if (!CloseHandle(file)) {
    endRun(FileFailurePlace::kClosing, GetLastError());
  }
}

}  // namespace qz
