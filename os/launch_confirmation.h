#pragma once
// The question every platform's LaunchFile asks before a part of an unknown
// type is handed to its viewer.

namespace reader {
class GuiInterface;
}

namespace os {

// The extension of a path's file name: from its last "." to the end, or null
// when the file name has no ".". Points into `path`.
const char* PathExtension(const char* path);

// Built-in viewer types that are launched without asking (compared ignoring case).
bool IsBuiltInViewerType(const char* ext);

// Whether a part at `path` may be launched. Built-in types and accepted
// extensions go ahead; anything else is asked about on `gui`, and remembered
// in the accepted-extensions store when the user asks not to be asked again
// (never for program types, which are asked about every time).
bool ConfirmLaunch(reader::GuiInterface& gui, const char* path);

}  // namespace os
