#pragma once
// Windows marks a file that came from outside (downloaded, saved from an
// e-mail, copied from another zone) with an alternate data stream
// "Zone.Identifier"; Office's Protected View and its block of macros from
// the internet, SmartScreen and the question before a program starts all
// look at it. A part decoded from a marked document is as foreign as the
// document: it gets the same mark, as the shell's own archive extraction
// gives extracted files the archive's.

namespace os {

// Gives the file `part` a copy of the "Zone.Identifier" stream of the file
// `document`. True when the part now carries the mark; false when the
// document has none (nothing is written then) or it could not be copied.
// Under Wine, which keeps alternate streams as files of their own beside
// the file ("part.txt:Zone.Identifier"), the mark is such a file: whatever
// removes the part's folder must remove it too.
bool CopyZoneIdentifier(const char* document, const char* part);

}  // namespace os
