#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "run/process_setup.h"

namespace qz {

void setUpProcess() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) {
      continue;
    }
    // open takes the lowest free number, which is fd since the lower ones
    // are open by now.
    int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened >= 0 && opened != fd) {
      ::dup2(opened, fd);
      ::close(opened);
    }
  }
  std::signal(SIGXFSZ, SIG_IGN);
}

std::string howToSetVariable(const std::string& name, const std::string& value) {
  return "Set it with: export " + name + "=" + value;
}

}  // namespace qz
