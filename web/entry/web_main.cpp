// The core's script for the page's worker: the two entries the worker calls,
// and the host that reaches the worker's JavaScript (Module.vpHost, see
// web/page/worker.js). Byte ranges go out as copies (HEAPU8.slice), or as a
// view the worker copies from at once, so nothing holds on to this heap.

#include <emscripten.h>

#include <cstdint>
#include <cstring>

#include "codec/decode_result.h"
#include "web/entry/page_host.h"
#include "web/entry/web_entry.h"

namespace {

// clang-format off
EM_JS(double, vp_source_size, (), { return Module.vpHost.sourceSize(); });
EM_JS(std::uint32_t, vp_read_source, (double offset, std::uint8_t* into, std::uint32_t length), {
  const bytes = Module.vpHost.readSource(offset, length);
  HEAPU8.set(bytes, into);
  return bytes.length;
});
EM_JS(void, vp_flags, (std::uint32_t flags), { Module.vpHost.flags(flags >>> 0); });
EM_JS(void, vp_text, (std::uint32_t entry, const char* key, const char* text, std::uint32_t length), {
  Module.vpHost.text(entry, key ? UTF8ToString(key) : null, HEAPU8.slice(text, text + length));
});
EM_JS(void, vp_error_text, (std::int32_t code, const char* text, std::uint32_t length), {
  Module.vpHost.errorText(code, HEAPU8.slice(text, text + length));
});
EM_JS(void, vp_icon, (const std::uint8_t* image, std::uint32_t length, const char* mimeType), {
  Module.vpHost.icon(HEAPU8.slice(image, image + length), UTF8ToString(mimeType));
});
EM_JS(void, vp_link, (int openable), { Module.vpHost.link(openable !== 0); });
EM_JS(void, vp_key_progress, (double done, double total), { Module.vpHost.keyProgress(done, total); });
EM_JS(int, vp_begin_part, (const char* name, std::uint32_t nameLength, const char* fileName,
                           std::uint32_t fileNameLength, std::uint32_t storedLength, int compressed), {
  return Module.vpHost.beginPart(HEAPU8.slice(name, name + nameLength), HEAPU8.slice(fileName, fileName + fileNameLength),
                                 storedLength >>> 0, compressed !== 0) ? 1 : 0;
});
// A view, not a copy: the worker copies the bytes into its batch at once.
EM_JS(int, vp_part_data, (const std::uint8_t* data, std::uint32_t length), {
  return Module.vpHost.partData(HEAPU8.subarray(data, data + length)) ? 1 : 0;
});
EM_JS(int, vp_end_part, (), { return Module.vpHost.endPart() ? 1 : 0; });
// clang-format on

std::uint32_t Length(const char* text) { return static_cast<std::uint32_t>(std::strlen(text)); }

class WorkerHost final : public web::PageHost {
 public:
  std::uint64_t SourceSize() override { return static_cast<std::uint64_t>(vp_source_size()); }
  std::uint32_t ReadSource(std::uint64_t offset, std::uint8_t* into, std::uint32_t length) override {
    return vp_read_source(static_cast<double>(offset), into, length);
  }
  void Flags(std::uint32_t flags) override { vp_flags(flags); }
  void Text(std::uint32_t entry, const char* key, const char* text) override {
    vp_text(entry, key, text, Length(text));
  }
  void ErrorText(std::int32_t code, const char* text) override { vp_error_text(code, text, Length(text)); }
  void Icon(const std::uint8_t* image, std::uint32_t length, const char* mimeType) override {
    vp_icon(image, length, mimeType);
  }
  void Link(bool openable) override { vp_link(openable ? 1 : 0); }
  void KeyProgress(std::uint64_t done, std::uint64_t total) override {
    vp_key_progress(static_cast<double>(done), static_cast<double>(total));
  }
  bool BeginPart(const char* name, const char* fileName, std::uint32_t storedLength, bool compressed) override {
    return vp_begin_part(name, Length(name), fileName, Length(fileName), storedLength, compressed ? 1 : 0) != 0;
  }
  bool PartData(const std::uint8_t* data, std::uint32_t length) override { return vp_part_data(data, length) != 0; }
  bool EndPart() override { return vp_end_part() != 0; }
};

}  // namespace

extern "C" {

// Inspects the document the worker holds; returns the result code.
EMSCRIPTEN_KEEPALIVE int vp_inspect() {
  WorkerHost host;
  return codec::ResultCode(web::InspectForPage(host));
}

// Decodes it with the NUL-terminated credentials; returns the result code.
EMSCRIPTEN_KEEPALIVE int vp_decode(const char* userName, const char* password) {
  WorkerHost host;
  return codec::ResultCode(web::DecodeForPage(host, userName, password));
}

}  // extern "C"
