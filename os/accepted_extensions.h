#pragma once
// The store of part extensions that the user asked not to be asked about
// again. The list is one settings value "AcceptedExtensions" whose text is
// entries separated by ";", each "*" followed by a lower-case extension that
// begins with its dot: after accepting .bin and then .DAT it reads *.bin;*.dat.

#include <cstddef>
#include <string>
#include <string_view>

namespace os {

class SettingsStore;

inline constexpr const char* kAcceptedExtensionsValue = "AcceptedExtensions";
// A lookup reads at most this many bytes of the value (NUL included); a longer
// value makes every lookup answer false, so additions never grow it past this.
inline constexpr std::size_t kAcceptedLookupLimit = 4096;
// An addition reads at most this many bytes of the value.
inline constexpr std::size_t kAcceptedUpdateLimit = 32767;

// True for extensions of programs and scripts (".exe", ".sh", ...), compared
// ignoring case: such parts are asked about every time and never stored.
bool IsExecutableExtension(std::string_view ext);

// True when `ext` may be stored: it starts with ".", holds neither ";" nor "*"
// nor control characters, and is not an executable type.
bool IsStorableExtension(std::string_view ext);

// Whether the list text holds `ext` (matched lower-cased and ";"-terminated,
// so ".b" is not found in "*.ab").
bool ListHoldsExtension(std::string_view list, std::string_view ext);

// Appends "*" and the lower-cased `ext` to the list text (with ";" between
// entries). Refuses, leaving `list` unchanged, when the result with its NUL
// would exceed `limit` bytes.
bool AppendExtension(std::string& list, std::string_view ext, std::size_t limit = kAcceptedLookupLimit);

// The store operations over a given settings store, and over the current
// user's store of this platform.
bool IsAcceptedExtension(SettingsStore& store, const char* ext);
void AddAcceptedExtension(SettingsStore& store, const char* ext);
bool IsAcceptedExtension(const char* ext);
void AddAcceptedExtension(const char* ext);

}  // namespace os
