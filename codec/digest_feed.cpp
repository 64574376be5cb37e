#include "codec/digest_feed.h"

#include <cstring>
#include <system_error>

#include "security/digest.h"
#include "security/secure_registers.h"
#include "security/secure_wipe.h"

namespace codec {

DigestFeed::DigestFeed(security::Digest* digest) : digest_(digest) {}

DigestFeed::~DigestFeed() {
  if (!worker_.joinable()) {
    return;
  }
  Drain();
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  published_changed_.notify_one();
  worker_.join();
  security::SecureWipe(ring_.get(), std::size_t{SlotSize} * Slots);
}

bool DigestFeed::HashInBackground() {
  if (!HelperThreads || digest_ == nullptr || worker_.joinable()) {
    return worker_.joinable();
  }
  ring_.reset(new std::uint8_t[std::size_t{SlotSize} * Slots]);
  try {
    worker_ = std::thread(&DigestFeed::Work, this);
  } catch (const std::system_error&) {
    ring_.reset();
    return false;
  }
  return true;
}

std::uint8_t* DigestFeed::FreeSlot() {
  std::unique_lock<std::mutex> lock(mutex_);
  hashed_changed_.wait(lock, [this] { return published_ - hashed_ < Slots; });
  return ring_.get() + (published_ % Slots) * SlotSize;
}

void DigestFeed::Update(const void* data, std::uint32_t length) {
  if (digest_ == nullptr || length == 0) {
    return;
  }
  if (!worker_.joinable()) {
    digest_->Update(data, length);
    return;
  }
  const auto* in = static_cast<const std::uint8_t*>(data);
  while (length > 0) {
    std::uint8_t* slot = FreeSlot();  // at once while the slot is being filled
    const std::uint32_t take = length < SlotSize - filling_ ? length : SlotSize - filling_;
    std::memcpy(slot + filling_, in, take);
    filling_ += take;
    in += take;
    length -= take;
    if (filling_ == SlotSize) {
      Publish();
    }
  }
}

std::uint8_t* DigestFeed::Acquire() {
  if (!worker_.joinable()) {
    return nullptr;
  }
  if (filling_ != 0) {
    Publish();  // what Update copied goes first
  }
  return FreeSlot();
}

void DigestFeed::Commit(std::uint32_t length) {
  if (!worker_.joinable() || length == 0) {
    return;
  }
  filling_ = length;
  Publish();
}

void DigestFeed::Publish() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    lengths_[published_ % Slots] = filling_;
    ++published_;
  }
  filling_ = 0;
  published_changed_.notify_one();
}

void DigestFeed::Drain() {
  if (!worker_.joinable()) {
    return;
  }
  if (filling_ != 0) {
    Publish();
  }
  std::unique_lock<std::mutex> lock(mutex_);
  hashed_changed_.wait(lock, [this] { return hashed_ == published_; });
}

namespace {

// What the hashing left on this thread's stack (register saves by the
// dynamic linker or a signal frame hold the slot's bytes) is overwritten
// before the thread ends: glibc keeps a dead thread's stack for the next one.
[[gnu::noinline]] void WipeStackBelowCaller() {
  unsigned char area[32 * 1024];
  security::SecureWipe(area, sizeof area);
}

}  // namespace

void DigestFeed::Work() {
  WorkUntilStopped();
  security::SecureWipeVectorRegisters();
  WipeStackBelowCaller();
}

void DigestFeed::WorkUntilStopped() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    published_changed_.wait(lock, [this] { return stop_ || hashed_ != published_; });
    if (hashed_ == published_) {
      return;  // asked to stop, and nothing left
    }
    const std::uint64_t slot = hashed_;
    const std::uint32_t length = lengths_[slot % Slots];
    lock.unlock();
    digest_->Update(ring_.get() + (slot % Slots) * SlotSize, length);
    // The slot's last bytes are still in vector registers, and the first
    // call into the C library below may bind lazily, saving them on the stack.
    security::SecureWipeVectorRegisters();
    lock.lock();
    hashed_ = slot + 1;
    hashed_changed_.notify_one();
  }
}

}  // namespace codec
