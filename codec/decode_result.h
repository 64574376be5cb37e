#pragma once
// Result codes of the inspection and the decoder. 0 is success; each negative
// code maps to one message-catalogue entry in the reader.

#include <cstdint>

namespace codec {

struct DecodeResult {
  static constexpr std::int32_t Ok = 0;
  // The magic is not "emdf".
  static constexpr std::int32_t BadMagic = -1;
  // Fewer than the 30 header bytes could be read (inspection only).
  static constexpr std::int32_t HeaderTooShort = -2;
  // The format version is neither 258 nor 259.
  static constexpr std::int32_t UnsupportedVersion = -3;
  // A check failed after the first part header: check value, end marker,
  // part name, part digest; or the trailer is too long, too short, inflates
  // beyond MaxTagListSize or fails its digest; or an end marker came before
  // the stated part count.
  static constexpr std::int32_t Corrupt = -4;
  // The cipher id names no cipher.
  static constexpr std::int32_t UnknownCipher = -5;
  // The cipher refuses the key length, or a key of another length was given.
  static constexpr std::int32_t BadKeyLength = -6;
  // The trailer digest id, or a non-zero body digest id, names no digest.
  static constexpr std::int32_t UnknownDigest = -7;
  // Compression method above 1, an inflate error, or a failed inflate reset.
  static constexpr std::int32_t InflateFailed = -8;
  // Reserved: the catalogue maps it, nothing raises it.
  static constexpr std::int32_t Unused9 = -9;
  // A part has expired.
  static constexpr std::int32_t Expired = -10;
  // The writer refused BeginDocument.
  static constexpr std::int32_t BeginDocumentRefused = -11;
  // The writer refused EndDocument.
  static constexpr std::int32_t EndDocumentRefused = -12;
  // The writer refused BeginPart, Write or EndPart.
  static constexpr std::int32_t PartOutputRefused = -13;
  // The source ended early, or a seek failed.
  static constexpr std::int32_t Truncated = -14;
  // The first part header failed its check: wrong user name or password.
  static constexpr std::int32_t WrongCredentials = -15;
  // The inflater ran out of memory or could make no progress.
  static constexpr std::int32_t OutOfMemory = -16;
  // No key-derivation function for the header's ids, or an iteration count
  // below 1.
  static constexpr std::int32_t NoKeyDerivation = -25;
};

}  // namespace codec
