#include "codec/vp_codec_base.h"

#include <cstring>

#include "codec/byte_order.h"
#include "codec/document_header.h"

namespace codec {
namespace {

constexpr VPCodecBase::HeaderLayout kLayout102 = {
    /*size=*/72, /*nameOffset=*/6, /*nameLength=*/34, /*checkOffset=*/40,
    /*auxiliary1Offset=*/44, /*lengthOffset=*/48, /*expiryOffset=*/52, /*auxiliary2Offset=*/56,
    /*compressionClearsWord=*/true};

constexpr VPCodecBase::HeaderLayout kLayout103 = {
    /*size=*/86, /*nameOffset=*/18, /*nameLength=*/64, /*checkOffset=*/82,
    /*auxiliary1Offset=*/2, /*lengthOffset=*/6, /*expiryOffset=*/10, /*auxiliary2Offset=*/14,
    /*compressionClearsWord=*/false};

constexpr std::uint32_t kStoredNever = 0xFFFFFFFFu;
constexpr std::int32_t kNever = 0x7FFFFFFF;

}  // namespace

VPCodecBase::EncodedHeader::~EncodedHeader() = default;

VPCodecBase::EncodedHeader102::EncodedHeader102() : EncodedHeaderImpl(kLayout102) {}

VPCodecBase::EncodedHeader103::EncodedHeader103() : EncodedHeaderImpl(kLayout103) {}

std::unique_ptr<VPCodecBase::EncodedHeader> VPCodecBase::CreateEncodedHeader(
    std::uint16_t formatVersion) {
  if (formatVersion == DocumentHeader::Version259) {
    return std::make_unique<EncodedHeader103>();
  }
  if (formatVersion < DocumentHeader::Version259) {
    return std::make_unique<EncodedHeader102>();
  }
  return nullptr;
}

std::uint8_t* VPCodecBase::EncodedHeaderImpl::Attach(std::uint8_t* block, std::uint32_t length) {
  header_ = (block != nullptr && length >= layout_.size) ? block + (length - layout_.size) : nullptr;
  return header_;
}

void VPCodecBase::EncodedHeaderImpl::Clear() {
  if (header_ != nullptr) {
    std::memset(header_, 0, layout_.size);
  }
}

bool VPCodecBase::EncodedHeaderImpl::SetName(const char* text) {
  if (header_ == nullptr || text == nullptr) {
    return false;
  }
  // Look no further than one byte past the field: longer names are refused.
  std::uint32_t length = 0;
  while (length <= layout_.nameLength && text[length] != '\0') {
    ++length;
  }
  if (length > layout_.nameLength) {
    return false;
  }
  std::uint8_t* field = header_ + layout_.nameOffset;
  std::memset(field, 0, layout_.nameLength);
  std::memcpy(field, text, length);
  return true;
}

bool VPCodecBase::EncodedHeaderImpl::GetName(char* out, std::uint32_t capacity) const {
  if (header_ == nullptr || out == nullptr || capacity < layout_.nameLength + 1) {
    return false;
  }
  const std::uint8_t* field = header_ + layout_.nameOffset;
  std::uint32_t length = 0;
  while (length < layout_.nameLength && field[length] != 0) {
    ++length;
  }
  std::memcpy(out, field, length);
  out[length] = '\0';
  return true;
}

void VPCodecBase::EncodedHeaderImpl::SetExpiry(std::int32_t expiry) {
  Put32(layout_.expiryOffset, expiry == kNever ? kStoredNever : static_cast<std::uint32_t>(expiry));
}

std::int32_t VPCodecBase::EncodedHeaderImpl::GetExpiry() const {
  const std::uint32_t stored = Get32(layout_.expiryOffset);
  return stored == kStoredNever ? kNever : static_cast<std::int32_t>(stored);
}

void VPCodecBase::EncodedHeaderImpl::SetCompression(std::uint16_t method) {
  if (header_ == nullptr) {
    return;
  }
  StoreBigEndian16(header_, method);
  if (layout_.compressionClearsWord) {
    std::memset(header_ + 2, 0, 4);
  }
}

std::uint16_t VPCodecBase::EncodedHeaderImpl::GetCompression() const {
  return header_ != nullptr ? LoadBigEndian16(header_) : 0;
}

void VPCodecBase::EncodedHeaderImpl::SetAuxiliary1(std::uint32_t value) {
  Put32(layout_.auxiliary1Offset, value);
}

void VPCodecBase::EncodedHeaderImpl::SetLength(std::uint32_t length) {
  Put32(layout_.lengthOffset, length);
}

std::uint32_t VPCodecBase::EncodedHeaderImpl::GetLength() const {
  return Get32(layout_.lengthOffset);
}

std::uint32_t VPCodecBase::EncodedHeaderImpl::GetAuxiliary2() const {
  return Get32(layout_.auxiliary2Offset);
}

void VPCodecBase::EncodedHeaderImpl::SetCheck(std::uint32_t check) {
  Put32(layout_.checkOffset, check);
}

std::uint32_t VPCodecBase::EncodedHeaderImpl::GetCheck() const { return Get32(layout_.checkOffset); }

void VPCodecBase::EncodedHeaderImpl::Put32(std::uint32_t offset, std::uint32_t value) {
  if (header_ != nullptr) {
    StoreBigEndian32(header_ + offset, value);
  }
}

std::uint32_t VPCodecBase::EncodedHeaderImpl::Get32(std::uint32_t offset) const {
  return header_ != nullptr ? LoadBigEndian32(header_ + offset) : 0;
}

}  // namespace codec
