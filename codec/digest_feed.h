#pragma once
// The decoder's way into a body digest: hashes right away, or, for long
// parts, on a helper thread while the decoder goes on decrypting, inflating
// and writing.

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

namespace security {
class Digest;
}

namespace codec {

// Feeds one security::Digest (not owned). In the background mode a helper
// thread hashes a ring of slots in order: the decoder decodes straight into
// a slot (Acquire), writes it out and hands it over (Commit), or Update
// copies bytes into the ring. The digest must then be left alone until Drain
// has returned. Used by one thread (besides its own helper).
class DigestFeed {
 public:
  // Bytes per slot of the ring, and slots.
  static constexpr std::uint32_t SlotSize = 256 * 1024;
  static constexpr std::uint32_t Slots = 4;
  // Whether this build has threads to hash on. WebAssembly compiled without
  // them (a page opened from a file gets no shared memory, so it cannot have
  // threads) hashes on the decoder's own thread: starting a thread there
  // would end the program.
#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
  static constexpr bool HelperThreads = false;
#else
  static constexpr bool HelperThreads = true;
#endif

  // `digest` may be null: then the feed does nothing.
  explicit DigestFeed(security::Digest* digest);
  // Drains, stops the helper, wipes the ring.
  ~DigestFeed();
  DigestFeed(const DigestFeed&) = delete;
  DigestFeed& operator=(const DigestFeed&) = delete;

  security::Digest* Digest() const { return digest_; }

  // From now on, hash on a helper thread. False (and nothing changes) when
  // there is no digest, the build has no threads or none could be started.
  bool HashInBackground();
  bool InBackground() const { return worker_.joinable(); }

  // Hashes `length` bytes at `data` (now, or later from a copy).
  void Update(const void* data, std::uint32_t length);

  // In the background mode, a slot of SlotSize bytes to decode into, once the
  // helper is done with it; null otherwise. Hand it back with Commit before
  // the next Acquire or Update.
  std::uint8_t* Acquire();
  // Has the first `length` bytes of the acquired slot hashed (0: none; the
  // slot is then free again).
  void Commit(std::uint32_t length);

  // Waits until every byte given so far is hashed; afterwards the digest may
  // be used directly (Final, Reset, Update) until the next Update here.
  void Drain();

 private:
  void Publish();
  // Waits until the slot that published_ names is free.
  std::uint8_t* FreeSlot();
  void Work();
  void WorkUntilStopped();

  security::Digest* digest_;
  std::unique_ptr<std::uint8_t[]> ring_;
  std::uint32_t lengths_[Slots] = {};
  std::uint32_t filling_ = 0;  // bytes in the slot being filled
  // Slots handed to the helper and slots it has hashed (both only grow),
  // and whether it is to stop; under mutex_. Waiting blocks at once rather
  // than spinning: on a busy machine a spinning thread only gives its time
  // away.
  std::mutex mutex_;
  std::condition_variable published_changed_;
  std::condition_variable hashed_changed_;
  std::uint64_t published_ = 0;
  std::uint64_t hashed_ = 0;
  bool stop_ = false;
  std::thread worker_;
};

}  // namespace codec
