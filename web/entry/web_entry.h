#pragma once
// The core's two services to the page: inspecting a document without
// credentials, and decoding it with them. Both read the document through the
// host and report through it (page_host.h); neither keeps anything between
// calls.

#include <cstdint>
#include <vector>

#include "codec/decode_result.h"
#include "codec/icon_image.h"
#include "web/entry/page_host.h"

namespace web {

// Reads the plain header and tag trailer and reports the header's flags,
// every catalogue text with the document's overrides, the text for every
// result code (the fixed "I/O Error" for codes without an entry), the
// document's icon when it carries a usable one, and whether its link may be
// opened (the desktop readers' rule). Returns the inspection's result; the
// texts are reported whatever it is, so that a document of a newer version
// can still say so in its own words.
codec::DecodeResult InspectForPage(PageHost& host);

// Decodes the document with the credentials, the header's flags deciding as
// in the desktop readers: no credentials at all, or the password alone (the
// user name empty). Parts go to the host as they are decoded. Expired parts
// stop the decoding. A part the page had no memory for, or memory running
// out here, gives OutOfMemory.
codec::DecodeResult DecodeForPage(PageHost& host, const char* userName, const char* password);

// One image of an icon file as an icon file of its own (ICO, one entry), so
// that a browser can show a bitmap image; PNG images are shown as they are.
std::vector<std::uint8_t> SingleImageIconFile(const codec::IconImage& image);

}  // namespace web
