#include "source/xp/xp_exception.h"

#include <cstring>
#include <new>

namespace xp {
namespace {

constexpr std::size_t kCountSize = sizeof(std::uint32_t);

// The two texts that need no allocation. Their count of 0 keeps them from
// ever being freed.
struct StaticBlock {
  std::uint32_t count;
  char text[40];
};
static_assert(offsetof(StaticBlock, text) == kCountSize);

StaticBlock noMessage{0, "No message"};
StaticBlock noMemory{0, "No message due to lack of memory"};

unsigned char* AsBlock(StaticBlock& block) { return reinterpret_cast<unsigned char*>(&block); }

std::uint32_t Count(const unsigned char* block) {
  std::uint32_t count;
  std::memcpy(&count, block, kCountSize);
  return count;
}

void SetCount(unsigned char* block, std::uint32_t count) { std::memcpy(block, &count, kCountSize); }

void* DefaultAllocate(std::size_t size) noexcept { return ::operator new(size, std::nothrow); }

unsigned char* BuildBlock(const char* message, XPExceptionBase::TextAllocator allocate) noexcept {
  if (message == nullptr || *message == '\0') return AsBlock(noMessage);
  const std::size_t length = std::strlen(message);
  void* memory = allocate(kCountSize + length + 1);
  if (memory == nullptr) return AsBlock(noMemory);
  auto* block = static_cast<unsigned char*>(memory);
  SetCount(block, 1);
  std::memcpy(block + kCountSize, message, length + 1);
  return block;
}

}  // namespace

XPExceptionBase::XPExceptionBase(const char* message, std::uint32_t code) noexcept
    : XPExceptionBase(message, code, DefaultAllocate) {}

XPExceptionBase::XPExceptionBase(const char* message, std::uint32_t code, TextAllocator allocate) noexcept
    : code_(code), text_(BuildBlock(message, allocate)) {}

XPExceptionBase::XPExceptionBase(const XPExceptionBase& other) noexcept
    : std::exception(other), code_(other.code_), text_(other.text_) {
  const std::uint32_t count = Count(text_);
  if (count != 0) SetCount(text_, count + 1);
}

XPExceptionBase& XPExceptionBase::operator=(const XPExceptionBase& other) noexcept {
  if (this == &other) return *this;
  const std::uint32_t count = Count(other.text_);
  if (count != 0) SetCount(other.text_, count + 1);
  releaseText();
  code_ = other.code_;
  text_ = other.text_;
  return *this;
}

XPExceptionBase::~XPExceptionBase() { releaseText(); }

void XPExceptionBase::releaseText() noexcept {
  const std::uint32_t count = Count(text_);
  if (count == 0) return;
  if (count == 1) {
    ::operator delete(text_);
  } else {
    SetCount(text_, count - 1);
  }
  text_ = AsBlock(noMessage);
}

const char* XPExceptionBase::what() const noexcept {
  return reinterpret_cast<const char*>(text_ + kCountSize);
}

std::uint32_t XPExceptionBase::shareCount() const noexcept { return Count(text_); }

}  // namespace xp
