#pragma once
// Lookup tables of the triple-DES construction, generated at compile time from
// the published DES definitions (FIPS 46-3: the eight S-boxes, the P
// permutation and PC-2). Nothing here is typed in beyond those definitions.
//
// Two families of eight 64-entry tables:
//  - kDesRoundTables (P1..P8): S-box n followed by P, for each 6-bit S-box
//    input, rotated left one bit: the output layout the round function's
//    XOR into the other half expects.
//  - kDesKeyTables (S0..S7): the key-schedule tables. Each maps six bits of the
//    rotated key halves c and d to the PC-2 subkey bits they become, placed in
//    the packed (s, t) layout from which the schedule assembles its two subkey
//    words per round.
// Every entry of both families is the OR of the contributions of its set index
// bits, so each table is built from six single-bit contributions.

#include <array>
#include <cstdint>

namespace security::detail {

using DesTable = std::array<std::uint32_t, 64>;
using DesTableSet = std::array<DesTable, 8>;

// FIPS 46-3 S-boxes: four rows of sixteen 4-bit values each.
inline constexpr std::uint8_t kDesSboxes[8][64] = {
    {14, 4,  13, 1, 2,  15, 11, 8,  3,  10, 6,  12, 5,  9,  0, 7,
     0,  15, 7,  4, 14, 2,  13, 1,  10, 6,  12, 11, 9,  5,  3, 8,
     4,  1,  14, 8, 13, 6,  2,  11, 15, 12, 9,  7,  3,  10, 5, 0,
     15, 12, 8,  2, 4,  9,  1,  7,  5,  11, 3,  14, 10, 0,  6, 13},
    {15, 1,  8,  14, 6,  11, 3,  4,  9,  7, 2,  13, 12, 0, 5,  10,
     3,  13, 4,  7,  15, 2,  8,  14, 12, 0, 1,  10, 6,  9, 11, 5,
     0,  14, 7,  11, 10, 4,  13, 1,  5,  8, 12, 6,  9,  3, 2,  15,
     13, 8,  10, 1,  3,  15, 4,  2,  11, 6, 7,  12, 0,  5, 14, 9},
    {10, 0,  9,  14, 6, 3,  15, 5,  1,  13, 12, 7,  11, 4,  2,  8,
     13, 7,  0,  9,  3, 4,  6,  10, 2,  8,  5,  14, 12, 11, 15, 1,
     13, 6,  4,  9,  8, 15, 3,  0,  11, 1,  2,  12, 5,  10, 14, 7,
     1,  10, 13, 0,  6, 9,  8,  7,  4,  15, 14, 3,  11, 5,  2,  12},
    {7,  13, 14, 3, 0,  6,  9,  10, 1,  2, 8, 5,  11, 12, 4,  15,
     13, 8,  11, 5, 6,  15, 0,  3,  4,  7, 2, 12, 1,  10, 14, 9,
     10, 6,  9,  0, 12, 11, 7,  13, 15, 1, 3, 14, 5,  2,  8,  4,
     3,  15, 0,  6, 10, 1,  13, 8,  9,  4, 5, 11, 12, 7,  2,  14},
    {2,  12, 4,  1,  7,  10, 11, 6,  8,  5,  3,  15, 13, 0, 14, 9,
     14, 11, 2,  12, 4,  7,  13, 1,  5,  0,  15, 10, 3,  9, 8,  6,
     4,  2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,  6,  3, 0,  14,
     11, 8,  12, 7,  1,  14, 2,  13, 6,  15, 0,  9,  10, 4, 5,  3},
    {12, 1,  10, 15, 9, 2,  6,  8,  0,  13, 3,  4,  14, 7,  5,  11,
     10, 15, 4,  2,  7, 12, 9,  5,  6,  1,  13, 14, 0,  11, 3,  8,
     9,  14, 15, 5,  2, 8,  12, 3,  7,  0,  4,  10, 1,  13, 11, 6,
     4,  3,  2,  12, 9, 5,  15, 10, 11, 14, 1,  7,  6,  0,  8,  13},
    {4,  11, 2,  14, 15, 0, 8,  13, 3,  12, 9, 7,  5,  10, 6, 1,
     13, 0,  11, 7,  4,  9, 1,  10, 14, 3,  5, 12, 2,  15, 8, 6,
     1,  4,  11, 13, 12, 3, 7,  14, 10, 15, 6, 8,  0,  5,  9, 2,
     6,  11, 13, 8,  1,  4, 10, 7,  9,  5,  0, 15, 14, 2,  3, 12},
    {13, 2,  8,  4, 6,  15, 11, 1,  10, 9,  3,  14, 5,  0,  12, 7,
     1,  15, 13, 8, 10, 3,  7,  4,  12, 5,  6,  11, 0,  14, 9,  2,
     7,  11, 4,  1, 9,  12, 14, 2,  0,  6,  10, 13, 15, 3,  5,  8,
     2,  1,  14, 7, 4,  10, 8,  13, 15, 12, 9,  0,  3,  5,  6,  11},
};

// FIPS 46-3 P: output bit j (1 = most significant) is input bit kDesP[j - 1].
inline constexpr std::uint8_t kDesP[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23,
                                           26, 5, 18, 31, 10, 2,  8,  24, 14, 32, 27,
                                           3,  9, 19, 13, 30, 6,  22, 11, 4,  25};

// FIPS 46-3 PC-2: subkey bit m (1..48) is bit kDesPc2[m - 1] of the 56-bit
// C||D register (1..28 in C, 29..56 in D).
inline constexpr std::uint8_t kDesPc2[48] = {
    14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,
    26, 8,  16, 7,  27, 20, 13, 2,  41, 52, 31, 37, 47, 55, 30, 40,
    51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

constexpr std::uint32_t DesRotateLeft(std::uint32_t x, unsigned n) {
  n &= 31u;
  return n == 0 ? x : (x << n) | (x >> (32u - n));
}

// Fills a table from the contributions of its six index bits.
constexpr DesTable DesCombine(const std::array<std::uint32_t, 6>& single) {
  DesTable table{};
  for (unsigned i = 0; i < 64; ++i) {
    std::uint32_t v = 0;
    for (unsigned b = 0; b < 6; ++b) {
      if ((i >> b) & 1u) v |= single[b];
    }
    table[i] = v;
  }
  return table;
}

// ---- Round tables P1..P8 -------------------------------------------------

// The S-box input is the 6-bit index read naturally: the outer bits (5 and 0)
// pick the row, the inner four bits the column.
constexpr unsigned DesSboxLookup(unsigned box, unsigned index) {
  const unsigned row = ((index >> 4) & 2u) | (index & 1u);
  const unsigned column = (index >> 1) & 15u;
  return kDesSboxes[box][row * 16 + column];
}

// P applied to a word whose only nonzero nibble is S-box `box`'s output.
constexpr std::uint32_t DesPermuteSboxOutput(unsigned box, unsigned value) {
  std::uint32_t out = 0;
  for (unsigned j = 0; j < 32; ++j) {
    const unsigned source = kDesP[j] - 1u;  // 0-based input bit, 0 = MSB
    if (source / 4 != box) continue;
    if ((value >> (3u - source % 4)) & 1u) out |= std::uint32_t{1} << (31u - j);
  }
  return out;
}

constexpr DesTableSet MakeDesRoundTables() {
  DesTableSet tables{};
  for (unsigned box = 0; box < 8; ++box) {
    for (unsigned i = 0; i < 64; ++i) {
      tables[box][i] = DesRotateLeft(DesPermuteSboxOutput(box, DesSboxLookup(box, i)), 1);
    }
  }
  return tables;
}

// ---- Key-schedule tables S0..S7 ------------------------------------------
//
// Bit layout that the schedule's preparation steps produce: bit p of c holds
// bit p + 1 of C, bit p of d holds bit p + 1 of D (so rotating c right inside
// 28 bits is the FIPS left shift of C).
//
// Layout of the two subkey words k0, k1 of a round: bit e (1..6) of the subkey
// chunk of S-box 2j + 1 sits at bit 2 + 8j + (e - 1) of k0; that of S-box
// 2j + 2 at bit 6 + 8j + (e - 1) (mod 32) of k1. The schedule builds
// k0 = rotr((t << 16) | (s & 0xFFFF), 30) and
// k1 = rotr((s >> 16) | (t & 0xFFFF0000), 26), which this inverts.

// Where subkey bit m (1..48) lands: the word (0: s, 1: t) and bit.
struct DesPackedBit {
  unsigned word;
  unsigned bit;
};

constexpr DesPackedBit DesPackSubkeyBit(unsigned m) {
  const unsigned box = (m - 1) / 6;
  const unsigned e = (m - 1) % 6;
  const unsigned j = box / 2;
  if (box % 2 == 0) {
    // k0 bit q: s bit q - 2 when that is below 16, else t bit q - 18.
    const unsigned q = 2 + 8 * j + e;
    const unsigned b = (q + 30) % 32;
    if (b < 16) return {0, b};
    return {1, (q + 14) % 32};
  }
  // k1 bit q: s bit q + 10 when that is 16 or above, else t bit q - 6.
  const unsigned q = (6 + 8 * j + e) % 32;
  const unsigned b = (q + 10) % 32;
  if (b >= 16) return {0, b};
  return {1, (q + 26) % 32};
}

// Contribution of C||D bit `position` (1..56): the packed bit it becomes, or
// nothing when PC-2 drops it. `word` tells which packed word is expected.
constexpr std::uint32_t DesKeyBitContribution(unsigned position, unsigned word) {
  for (unsigned m = 1; m <= 48; ++m) {
    if (kDesPc2[m - 1] != position) continue;
    const DesPackedBit packed = DesPackSubkeyBit(m);
    // A bit of C only feeds S-boxes 1..4 (packed into s), D only 5..8 (t).
    return packed.word == word ? std::uint32_t{1} << packed.bit : 0xFFFFFFFFu;
  }
  return 0;
}

// The six register bits each table is indexed by, lowest index bit first,
// as the schedule extracts them from c (tables 0..3) and d (tables 4..7).
inline constexpr std::uint8_t kDesKeyTableBits[8][6] = {
    {0, 1, 2, 3, 4, 5},       {6, 7, 9, 10, 11, 12},   {13, 14, 15, 16, 18, 19},
    {20, 22, 23, 25, 26, 27}, {0, 1, 2, 3, 4, 5},      {7, 8, 10, 11, 12, 13},
    {15, 16, 17, 18, 19, 20}, {21, 22, 23, 24, 26, 27}};

constexpr DesTableSet MakeDesKeyTables() {
  DesTableSet tables{};
  for (unsigned n = 0; n < 8; ++n) {
    const unsigned word = n < 4 ? 0 : 1;
    std::array<std::uint32_t, 6> single{};
    for (unsigned b = 0; b < 6; ++b) {
      const unsigned position = kDesKeyTableBits[n][b] + 1u + (word == 0 ? 0u : 28u);
      single[b] = DesKeyBitContribution(position, word);
    }
    tables[n] = DesCombine(single);
  }
  return tables;
}

constexpr bool DesKeyTablesWellFormed(const DesTableSet& tables) {
  // Every index bit must contribute exactly one bit, all distinct within the
  // packed word: the 24 used bits of c (or d) are exactly PC-2's 24 picks.
  for (unsigned half = 0; half < 2; ++half) {
    std::uint32_t seen = 0;
    for (unsigned n = 4 * half; n < 4 * half + 4; ++n) {
      for (unsigned b = 0; b < 6; ++b) {
        const std::uint32_t v = tables[n][1u << b];
        if (v == 0 || (v & (v - 1)) != 0 || (seen & v) != 0) return false;
        seen |= v;
      }
    }
  }
  return true;
}

inline constexpr DesTableSet kDesRoundTables = MakeDesRoundTables();
inline constexpr DesTableSet kDesKeyTables = MakeDesKeyTables();

static_assert(DesKeyTablesWellFormed(kDesKeyTables));
static_assert(kDesRoundTables[0][0] == 0x01010400u && kDesRoundTables[0][3] == 0x01010404u);
static_assert(kDesKeyTables[0][2] == 0x20000000u && kDesKeyTables[7][1] == 0x04000000u);

}  // namespace security::detail
