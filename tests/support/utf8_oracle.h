#pragma once
// What may reach a terminal, judged apart from the escaping that produces it:
// well-formed UTF-8 by the byte ranges of RFC 3629 (no overlong forms, no
// surrogates, nothing above U+10FFFF) holding no control character (C0,
// DEL, C1), line feeds aside where they are allowed.

#include <cstddef>
#include <string_view>

namespace support {

inline bool PrintableUtf8(std::string_view text, bool lineFeeds) {
  // RFC 3629, section 4: the lead byte's range and the second byte's range;
  // every later byte is 80-BF.
  struct Form {
    unsigned char leadLow, leadHigh, secondLow, secondHigh;
    std::size_t length;
  };
  static constexpr Form kForms[] = {
      {0xC2, 0xDF, 0x80, 0xBF, 2}, {0xE0, 0xE0, 0xA0, 0xBF, 3}, {0xE1, 0xEC, 0x80, 0xBF, 3},
      {0xED, 0xED, 0x80, 0x9F, 3}, {0xEE, 0xEF, 0x80, 0xBF, 3}, {0xF0, 0xF0, 0x90, 0xBF, 4},
      {0xF1, 0xF3, 0x80, 0xBF, 4}, {0xF4, 0xF4, 0x80, 0x8F, 4},
  };
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char lead = byte(i);
    if (lead < 0x80) {
      if ((lead < 0x20 && !(lineFeeds && lead == '\n')) || lead == 0x7F) return false;
      ++i;
      continue;
    }
    const Form* form = nullptr;
    for (const Form& f : kForms) {
      if (lead >= f.leadLow && lead <= f.leadHigh) form = &f;
    }
    if (form == nullptr || i + form->length > text.size()) return false;
    if (byte(i + 1) < form->secondLow || byte(i + 1) > form->secondHigh) return false;
    for (std::size_t k = 2; k < form->length; ++k) {
      if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return false;
    }
    if (lead == 0xC2 && byte(i + 1) <= 0x9F) return false;  // U+0080-U+009F, the C1 controls
    i += form->length;
  }
  return true;
}

}  // namespace support
