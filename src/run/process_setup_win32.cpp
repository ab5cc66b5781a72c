#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "run/process_setup.h"

namespace qz {

namespace {

// A stream with no handle behind it would swallow or misplace what is
// written to it; the null device takes it instead.
void openOntoNullIfClosed(DWORD which, FILE* stream, const char* mode) {
  HANDLE handle = GetStdHandle(which);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || _fileno(stream) < 0 ||
      _get_osfhandle(_fileno(stream)) == -1) {
    std::freopen("NUL", mode, stream);
  }
}

}  // namespace

void setUpProcess() {
  openOntoNullIfClosed(STD_INPUT_HANDLE, stdin, "rb");
  openOntoNullIfClosed(STD_OUTPUT_HANDLE, stdout, "wb");
  openOntoNullIfClosed(STD_ERROR_HANDLE, stderr, "wb");
  // Text mode would turn the CR LF of every line into CR CR LF.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

std::string howToSetVariable(const std::string& name, const std::string& value) {
  return "Set it in cmd.exe with: set " + name + "=" + value + " (or setx " + name + " " + value +
         " to keep it), in PowerShell with: $env:" + name + "=\"" + value + "\"";
}

}  // namespace qz
