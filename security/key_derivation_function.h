#pragma once
// Key derivation: turns a user name and a password into key bytes.

#include <cstdint>
#include <functional>

#include "security/locked_memory.h"

namespace security {

// A provider of key bytes that AddInputFrom can read from.
class KeySource {
 public:
  virtual ~KeySource();
  // Slot 1: copies `length` key bytes into `buffer`; `result` receives the
  // source's status.
  virtual void CopyKey(std::int32_t* result, void* buffer, std::uint32_t length) = 0;
  // Slot 2: the number of key bytes the source holds.
  virtual void GetKeyLength(std::uint32_t* length) = 0;
};

class KeyDerivationFunction : public LockedObject {
 public:
  virtual ~KeyDerivationFunction();
  // Slot 1: forgets the inputs.
  virtual void Reset() = 0;
  // Slot 2: reads the source's bytes into a temporary, passes them to
  // AddInput and wipes the temporary.
  virtual void AddInputFrom(KeySource& source);
  // Slot 3: adds one input (user name, password, ...); `data` may be null
  // when `length` is 0.
  virtual void AddInput(const void* data, std::uint32_t length) = 0;
  // Slot 4: writes `length` key bytes. False, with nothing written, when the
  // function cannot produce that many.
  virtual bool Derive(std::uint8_t* out, std::uint32_t length) = 0;

  // Told now and then during a long Derive how much of the work is done, in
  // the function's own units, on the deriving thread. Returning false stops
  // the derivation: Derive then returns false with its output zeroed.
  using Progress = std::function<bool(std::uint64_t done, std::uint64_t total)>;
  // Slot 5: installs `progress` (empty: none). Functions whose work is short
  // never call it.
  virtual void SetProgress(Progress progress);

 protected:
  KeyDerivationFunction() = default;
};

// Password-based functions take their inputs only through AddInput.
class PasswordKeyDerivationFunction : public KeyDerivationFunction {
 public:
  // Does nothing.
  void AddInputFrom(KeySource& source) override;
};

}  // namespace security
