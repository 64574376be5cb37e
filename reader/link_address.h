#pragma once
// Which link addresses the reader opens. A link's address can come from the
// document (its "HyperlinkUrl" text), and opening an address hands it to
// whatever program the system associates with it: a "file:" address, a bare
// path or a script scheme would start a program with one click.

namespace reader {

// True only for an address that starts with "http:", "https:" or "mailto:"
// (scheme in any letter case), has something after the scheme, and holds no
// space, control character or quotation mark (which could split the command
// line the system builds for the browser or mail program).
bool IsOpenableLinkAddress(const char* address);

}  // namespace reader
