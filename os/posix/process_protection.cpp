#include "os/posix/process_protection.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>

namespace os {

void ProtectProcess() {
  ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
  const struct rlimit none {0, 0};
  ::setrlimit(RLIMIT_CORE, &none);
  ::signal(SIGPIPE, SIG_IGN);
}

}  // namespace os
