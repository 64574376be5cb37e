#pragma once
// PBKDF2 (RFC 8018) over an HMAC, with the chained later blocks that stored
// documents were derived with.
//
// Block 1 is standard: T1 = U1 ^ ... ^ Uc, U1 = MAC(P, M || S || INT(1)), where
// P is the first input, M the later inputs and S the salt. In ChainedBlocks
// mode every later block is T(i) = T(i-1) ^ MAC(P, S || INT(i)), neither
// iterated nor covering M; in any other mode later blocks are standard PBKDF2
// blocks of S.

#include <cstdint>
#include <cstring>
#include <utility>

#include "security/byte_order.h"
#include "security/hmac.h"
#include "security/kernels.h"
#include "security/key_derivation_function.h"
#include "security/secure_blob.h"
#include "security/secure_wipe.h"

namespace security {

template <class MAC>
class PbKdf2 : public PasswordKeyDerivationFunction {
 public:
  static constexpr std::uint32_t ChainedBlocks = 1;

  // Copies the salt. An iteration count of 0 is taken as 1: block 1 needs at
  // least one MAC to start from.
  PbKdf2(std::uint32_t iterations, const void* salt, std::uint32_t saltLength, std::uint32_t mode);
  ~PbKdf2() override;

  // Back to block 1 with no key installed; the MAC restarts with the old key
  // until the next AddInput replaces it.
  void Reset() override;
  // The first input becomes the MAC key, later ones prefix the first block's message.
  void AddInput(const void* data, std::uint32_t length) override;
  // Writes `length` bytes, continuing after the blocks earlier calls used.
  bool Derive(std::uint8_t* out, std::uint32_t length) override;
  // Reports the iterations of block 1 every 4096 of them; a report answered
  // with false ends the block there and makes Derive fail.
  void SetProgress(Progress progress) override { progress_ = std::move(progress); }

 protected:
  MAC& Mac() { return mac_; }

 private:
  static constexpr std::uint32_t kMaxBlockSize = 64;
  static constexpr std::uint32_t kProgressStep = 4096;

  // Computes block `index` into block_ with `count` iterations; count 0 XORs
  // the one MAC value into the previous block instead. False when the
  // progress callback stopped it.
  bool ComputeBlock(std::uint32_t index, std::uint32_t count);
  // Reports `done` of `total` when a callback is installed; false to stop.
  bool GoOn(std::uint64_t done, std::uint64_t total) { return !progress_ || progress_(done, total); }
  // Runs `count` more iterations from `u` (U(j+1) = MAC(P, U(j)), each XORed
  // into block_) straight on the compression function where the MAC allows
  // it: for HMAC-SHA-256 each is one compression from the inner pad's state
  // and one from the outer pad's, with the padding of the 32-byte messages
  // written once. Leaves the last U in `u`. Nothing done for any other MAC.
  enum class Direct { Unsupported, Done, Stopped };
  Direct IterateDirectly(std::uint8_t* u, std::uint32_t count);
  void XorIntoBlock(const std::uint8_t* u) {
    for (std::uint32_t g = 0; g < hLen_ / 4; ++g) {
      for (std::uint32_t b = 0; b < 4; ++b) block_[4 * g + b] ^= u[4 * g + b];
    }
  }

  std::uint32_t mode_;
  MAC mac_;
  SecureBlob salt_;
  std::uint32_t iterations_;
  std::uint8_t block_[kMaxBlockSize] = {};
  std::uint32_t blockIndex_ = 0;
  std::uint8_t keySet_ = 0;
  std::uint32_t hLen_;
  Progress progress_;
};

template <class MAC>
PbKdf2<MAC>::PbKdf2(std::uint32_t iterations, const void* salt, std::uint32_t saltLength, std::uint32_t mode)
    : mode_(mode),
      salt_(salt, saltLength),
      iterations_(iterations == 0 ? 1 : iterations),
      hLen_(mac_.OutputSize()) {
  static_assert(sizeof(block_) >= kMaxDigestSize);
}

template <class MAC>
PbKdf2<MAC>::~PbKdf2() {
  SecureWipe(block_, sizeof block_);
}

template <class MAC>
void PbKdf2<MAC>::Reset() {
  mac_.Reset();
  blockIndex_ = 0;
  keySet_ = 0;
  SecureWipe(block_, sizeof block_);
}

template <class MAC>
void PbKdf2<MAC>::AddInput(const void* data, std::uint32_t length) {
  if (!keySet_) {
    mac_.SetKey(data, length);
    keySet_ = 1;
  } else {
    mac_.Update(data, length);
  }
}

template <class MAC>
bool PbKdf2<MAC>::ComputeBlock(std::uint32_t index, std::uint32_t count) {
  std::uint8_t* spare = salt_.Spare();
  spare[0] = static_cast<std::uint8_t>(index >> 24);
  spare[1] = static_cast<std::uint8_t>(index >> 16);
  spare[2] = static_cast<std::uint8_t>(index >> 8);
  spare[3] = static_cast<std::uint8_t>(index);
  mac_.Update(salt_.Data(), salt_.Size() + 4);

  std::uint8_t u[kMaxBlockSize];
  mac_.Final(u, 0);
  if (count != 0) {
    std::memcpy(block_, u, hLen_);
  } else {
    XorIntoBlock(u);
  }
  const Direct direct = count > 1 ? IterateDirectly(u, count - 1) : Direct::Unsupported;
  bool complete = direct != Direct::Stopped;
  for (std::uint32_t j = 1; direct == Direct::Unsupported && j < count; ++j) {
    mac_.Reset();
    mac_.Update(u, hLen_);
    mac_.Final(u, 0);
    XorIntoBlock(u);
    if (j % kProgressStep == 0 && !GoOn(j, count)) {
      complete = false;
      break;
    }
  }
  SecureWipe(u, sizeof u);
  return complete;
}

template <class MAC>
typename PbKdf2<MAC>::Direct PbKdf2<MAC>::IterateDirectly(std::uint8_t* u, std::uint32_t count) {
  std::uint32_t inner[8], outer[8];
  if (hLen_ != 32 || !mac_.PadStates256(inner, outer)) {
    SecureWipe(inner, sizeof inner);
    SecureWipe(outer, sizeof outer);
    return Direct::Unsupported;
  }
  const detail::Sha256CompressFn compress = detail::ActiveKernels().sha256;
  // Both hashes finish a 32-byte message after their pad's block: the
  // message, 0x80, zeros and the bit count of 64 + 32 bytes. The inner
  // digest replaces the message in place for the outer hash, and the outer
  // digest for the next inner one.
  std::uint8_t message[64] = {};
  std::memcpy(message, u, 32);
  message[32] = 0x80;
  StoreBigEndian64(message + 56, std::uint64_t{64 + 32} * 8);
  std::uint32_t state[8];
  Direct result = Direct::Done;
  for (std::uint32_t j = 0; j < count; ++j) {
    std::memcpy(state, inner, sizeof state);
    compress(state, message, 1);
    for (int w = 0; w < 8; ++w) StoreBigEndian32(message + 4 * w, state[w]);
    std::memcpy(state, outer, sizeof state);
    compress(state, message, 1);
    for (int w = 0; w < 8; ++w) StoreBigEndian32(message + 4 * w, state[w]);
    XorIntoBlock(message);
    // Iteration j + 1 of the count + 1 that the block takes.
    if ((j + 1) % kProgressStep == 0 && !GoOn(j + 1, std::uint64_t{count} + 1)) {
      result = Direct::Stopped;
      break;
    }
  }
  std::memcpy(u, message, 32);
  SecureWipe(message, sizeof message);
  SecureWipe(state, sizeof state);
  SecureWipe(inner, sizeof inner);
  SecureWipe(outer, sizeof outer);
  return result;
}

template <class MAC>
bool PbKdf2<MAC>::Derive(std::uint8_t* out, std::uint32_t length) {
  std::uint32_t done = 0;
  if (blockIndex_ == 0) {
    blockIndex_ = 1;
    if (!ComputeBlock(1, iterations_)) {
      // Stopped: an unfinished block is no key. The function needs Reset and
      // its inputs again before another Derive.
      SecureWipe(block_, sizeof block_);
      if (length != 0) SecureWipe(out, length);
      return false;
    }
    done = length < hLen_ ? length : hLen_;
    if (done != 0) std::memcpy(out, block_, done);
  }
  while (done < length) {
    mac_.Reset();
    ++blockIndex_;
    if (!ComputeBlock(blockIndex_, mode_ == ChainedBlocks ? 0 : iterations_)) {
      SecureWipe(out, length);
      return false;
    }
    const std::uint32_t take = length - done < hLen_ ? length - done : hLen_;
    std::memcpy(out + done, block_, take);
    done += take;
  }
  return true;
}

extern template class PbKdf2<HMac<Sha2Digest>>;
extern template class PbKdf2<HMac<KeccakF1600Digest>>;

}  // namespace security
