#pragma once
// The support library's exception family: a shared, reference-counted message
// text and the operating-system or runtime error code that caused the failure.

#include <cstddef>
#include <cstdint>
#include <exception>

namespace xp {

class XPExceptionBase : public std::exception {
 public:
  // Allocates the text block; called with the block's total size, returns
  // null when memory is exhausted. Never throws.
  using TextAllocator = void* (*)(std::size_t size) noexcept;

  XPExceptionBase(const char* message, std::uint32_t code) noexcept;
  XPExceptionBase(const XPExceptionBase& other) noexcept;
  XPExceptionBase& operator=(const XPExceptionBase& other) noexcept;
  ~XPExceptionBase() override;

  // The message text; "No message" when it was empty or absent.
  const char* what() const noexcept override;
  // The Windows error code or errno that caused the failure, or 0.
  std::uint32_t code() const noexcept { return code_; }
  // How many exceptions share the text block; 0 for the two static texts.
  std::uint32_t shareCount() const noexcept;

 protected:
  // Lets a test replace the allocation of the text block.
  XPExceptionBase(const char* message, std::uint32_t code, TextAllocator allocate) noexcept;

 private:
  void releaseText() noexcept;

  std::uint32_t code_;
  unsigned char* text_;  // count (unsigned 32-bit), then the NUL-terminated text
};

class XPException : public XPExceptionBase {
 public:
  explicit XPException(const char* message) noexcept : XPExceptionBase(message, 0) {}
  XPException(const char* message, std::uint32_t code) noexcept : XPExceptionBase(message, code) {}

 protected:
  XPException(const char* message, std::uint32_t code, TextAllocator allocate) noexcept
      : XPExceptionBase(message, code, allocate) {}
};

}  // namespace xp
