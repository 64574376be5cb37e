// The Windows side of the fixed error sentences.

#include <windows.h>

#include "os/system_error.h"

namespace os {

bool AccessDeniedSuggestsAdministrator() {
  OSVERSIONINFOA version;
  version.dwOSVersionInfoSize = sizeof version;
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
  // From Vista (6.0) on, access is denied to programs installed without
  // elevation; earlier versions had no such cause to suggest.
  const BOOL known = GetVersionExA(&version);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
  return known && version.dwMajorVersion >= 6;
}

}  // namespace os
