#include "install/installation_scope.h"

namespace install {

// Current user until the module's load decides.
std::int32_t installationScope = ScopeCurrentUser;

}  // namespace install
