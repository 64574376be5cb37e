#pragma once
// The 30-byte plain header at the start of every document container.

#include <cstddef>
#include <cstdint>

namespace codec {

// The fixed header in host byte order. In the file every integer is
// big-endian; Parse and Store convert between the two forms. Parsing does not
// judge the values: the checks (magic, version, known ids) belong to the
// callers, which report them with their own result codes.
struct DocumentHeader {
  static constexpr std::size_t Size = 30;

  // Format versions (offset 4). 259 adds the salt after the header and the
  // 86-byte part header with its 64-byte name.
  static constexpr std::uint16_t Version258 = 0x0102;
  static constexpr std::uint16_t Version259 = 0x0103;

  // The cipher id (offset 6) and the digest ids (offsets 8 and 21) are those
  // of the primitives' factories: security::CipherId and security::DigestId.

  // Key-derivation ids (offset 18).
  // A SimpleKdf over the trailer digest id, when that id is 1 or 2.
  static constexpr std::uint8_t KdfSimpleOverTrailerDigest = 0;
  // A SimpleKdf over digest id 1. No digest has id 1, so no function can be
  // built and every such document is refused as unsupported (-25).
  static constexpr std::uint8_t KdfSimpleOverDigest1 = 1;
  // A SimpleKdf over SHA-1 (digest id 2).
  static constexpr std::uint8_t KdfSimpleSha1 = 2;
  // Chained PBKDF2 with HMAC over Keccak-256, and over SHA-256 (version 259:
  // they take the salt and the iteration adjustment from its first byte).
  static constexpr std::uint8_t KdfPbkdf2Keccak256 = 3;
  static constexpr std::uint8_t KdfPbkdf2Sha256 = 4;

  static constexpr std::uint32_t FlagNoCredentials = 0x80000000u;     // bit 31
  static constexpr std::uint32_t FlagTagTrailer = 0x40000000u;        // bit 30
  static constexpr std::uint32_t FlagNoWaitNotice = 0x20000000u;      // bit 29
  static constexpr std::uint32_t FlagPasswordOnly = 0x10000000u;      // bit 28
  static constexpr std::uint32_t FlagContinuousStream = 0x08000000u;  // bit 27

  std::uint8_t magic[4] = {};            // offset 0: "emdf"
  std::uint16_t formatVersion = 0;       // offset 4
  std::uint16_t cipherId = 0;            // offset 6
  std::uint16_t trailerDigestId = 0;     // offset 8
  std::uint16_t keyBits = 0;             // offset 10
  std::uint16_t partCount = 0;           // offset 12: 0 = not stated
  std::uint32_t flags = 0;               // offset 14
  std::uint8_t kdfId = 0;                // offset 18
  std::uint16_t iterationThousands = 0;  // offset 19
  std::uint8_t bodyDigestId = 0;         // offset 21: 0 = parts carry no digest
  std::uint8_t reserved[8] = {};         // offset 22

  // Converts the 30 stored bytes at `stored` into this header.
  void Parse(const std::uint8_t* stored);
  // Writes the header as stored: 30 big-endian bytes at `out`.
  void Store(std::uint8_t* out) const;

  bool HasMagic() const;
  bool IsKnownVersion() const { return formatVersion == Version258 || formatVersion == Version259; }
  bool HasFlag(std::uint32_t flag) const { return (flags & flag) == flag; }
  std::uint32_t KeyBytes() const { return keyBits / 8u; }
};


}  // namespace codec
