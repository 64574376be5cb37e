#pragma once
// The module's own file name, found once and cached.

namespace install {

// The full path of the module this code is linked into (GetModuleHandleExA
// with an address inside it, then GetModuleFileNameA into 261 characters);
// empty when Windows cannot tell.
const char* ModulePath();

}  // namespace install
