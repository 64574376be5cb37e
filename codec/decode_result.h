#pragma once
// Results of the inspection and the decoder. The values are the format's own
// codes: 0 is success and each negative code maps to one message-catalogue
// entry in the reader.

#include <cstdint>

namespace codec {

enum class DecodeResult : std::int32_t {
  Ok = 0,
  // The magic is not "emdf".
  BadMagic = -1,
  // Fewer than the 30 header bytes could be read (inspection only).
  HeaderTooShort = -2,
  // The format version is neither 258 nor 259.
  UnsupportedVersion = -3,
  // A check failed after the first part header: check value, end marker,
  // part name, part digest; or the trailer is too long, too short, inflates
  // beyond MaxTagListSize or fails its digest; or an end marker came before
  // the stated part count.
  Corrupt = -4,
  // The cipher id names no cipher.
  UnknownCipher = -5,
  // The cipher refuses the key length, or a key of another length was given.
  BadKeyLength = -6,
  // The trailer digest id, or a non-zero body digest id, names no digest.
  UnknownDigest = -7,
  // Compression method above 1, an inflate error, or a failed inflate reset.
  InflateFailed = -8,
  // Reserved: the catalogue maps it, nothing raises it.
  Unused9 = -9,
  // A part has expired.
  Expired = -10,
  // The writer refused BeginDocument.
  BeginDocumentRefused = -11,
  // The writer refused EndDocument.
  EndDocumentRefused = -12,
  // The writer refused BeginPart, Write or EndPart.
  PartOutputRefused = -13,
  // The source ended early, or a seek failed.
  Truncated = -14,
  // The first part header failed its check, or the file ended inside it
  // after its first block: wrong user name or password. Nothing proves the
  // key before that check, and a wrong key makes the block's length noise.
  WrongCredentials = -15,
  // The inflater ran out of memory or could make no progress.
  OutOfMemory = -16,
  // No key-derivation function for the header's ids, an iteration count
  // below 1, or a derivation that its progress callback stopped.
  NoKeyDerivation = -25,
};

// The code of a result as the format defines it.
constexpr std::int32_t ResultCode(DecodeResult result) { return static_cast<std::int32_t>(result); }

}  // namespace codec
