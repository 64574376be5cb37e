#pragma once
// What the page's worker gives the core (the document's bytes) and what the
// core tells the page (the plain header's texts and icon, progress, parts).

#include <cstdint>

namespace web {

// Implemented over the worker's JavaScript (web_main.cpp) and by test fakes.
// Every byte range handed to the page is valid only during the call: the
// page copies what it keeps, so nothing of a part stays in the WebAssembly
// heap. All calls come from the one thread that runs the core.
class PageHost {
 public:
  virtual ~PageHost() = default;

  // The document's size in bytes.
  virtual std::uint64_t SourceSize() = 0;
  // Copies up to `length` bytes of the document from `offset` to `into` and
  // returns how many it copied (fewer only at the end, or when it cannot read).
  virtual std::uint32_t ReadSource(std::uint64_t offset, std::uint8_t* into, std::uint32_t length) = 0;

  // Inspection: the header's flags, then each catalogue entry's text (the
  // document's own where it has one; `key` null for the entries a document
  // cannot change), the text for each result code, the document's icon as an
  // image file of `mimeType`, and whether the link's address may be opened.
  virtual void Flags(std::uint32_t flags) = 0;
  virtual void Text(std::uint32_t entry, const char* key, const char* text) = 0;
  virtual void ErrorText(std::int32_t code, const char* text) = 0;
  virtual void Icon(const std::uint8_t* image, std::uint32_t length, const char* mimeType) = 0;
  virtual void Link(bool openable) = 0;

  // Decoding: how far a key derivation has got, and the parts as they are
  // decoded. `name` is the part's stored name; `fileName` the name a saved
  // copy may safely take. A false result means the page has no memory left
  // for the part.
  virtual void KeyProgress(std::uint64_t done, std::uint64_t total) = 0;
  virtual bool BeginPart(const char* name, const char* fileName, std::uint32_t storedLength, bool compressed) = 0;
  virtual bool PartData(const std::uint8_t* data, std::uint32_t length) = 0;
  virtual bool EndPart() = 0;
};

}  // namespace web
