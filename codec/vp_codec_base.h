#pragma once
// The codec scope and the per-part header classes.

#include <cstdint>
#include <memory>

namespace codec {

class VPCodecBase {
 public:
  // Compression methods of a part (the part header's first field).
  static constexpr std::uint16_t CompressionStored = 0;
  static constexpr std::uint16_t CompressionZlib = 1;

  // View of one part header inside a caller-owned block: the object holds a
  // pointer to the header bytes and none of its own. All 32-bit fields are
  // big-endian in the bytes. Before a successful Attach the getters return 0
  // (GetName false) and the setters do nothing.
  class EncodedHeader {
   public:
    EncodedHeader() = default;
    EncodedHeader(const EncodedHeader&) = delete;
    EncodedHeader& operator=(const EncodedHeader&) = delete;

    // Slot 0.
    virtual ~EncodedHeader();
    // Slot 1. Points at the last Size() bytes of the block of `length` bytes
    // and returns that address; null (and detached) when the block is shorter
    // than the header.
    virtual std::uint8_t* Attach(std::uint8_t* block, std::uint32_t length) = 0;
    // Slot 2. Header size in bytes.
    virtual std::uint32_t Size() const = 0;
    // Slot 3. Zeroes the header bytes.
    virtual void Clear() = 0;
    // Slot 4. Copies `text` NUL-padded into the name field; false (field
    // unchanged) when it is longer than the field or missing.
    virtual bool SetName(const char* text) = 0;
    // Slot 5. The name up to its first NUL or the end of its field, with a
    // terminating NUL; false when `capacity` cannot hold a full field plus NUL.
    virtual bool GetName(char* out, std::uint32_t capacity) const = 0;
    // Slot 6. 0x7FFFFFFF ("never") is stored as 0xFFFFFFFF.
    virtual void SetExpiry(std::int32_t expiry) = 0;
    // Slot 7. A stored 0xFFFFFFFF reads as 0x7FFFFFFF.
    virtual std::int32_t GetExpiry() const = 0;
    // Slot 8.
    virtual void SetCompression(std::uint16_t method) = 0;
    // Slot 9.
    virtual std::uint16_t GetCompression() const = 0;
    // Slot 10.
    virtual void SetAuxiliary1(std::uint32_t value) = 0;
    // Slot 11.
    virtual void SetLength(std::uint32_t length) = 0;
    // Slot 12.
    virtual std::uint32_t GetLength() const = 0;
    // Slot 13.
    virtual std::uint32_t GetAuxiliary2() const = 0;
    // Slot 14.
    virtual void SetCheck(std::uint32_t check) = 0;
    // Slot 15.
    virtual std::uint32_t GetCheck() const = 0;
  };

  // Layout shared by both header versions, parameterised by field offsets.
  struct HeaderLayout {
    std::uint32_t size;
    std::uint32_t nameOffset;
    std::uint32_t nameLength;
    std::uint32_t checkOffset;
    std::uint32_t auxiliary1Offset;
    std::uint32_t lengthOffset;
    std::uint32_t expiryOffset;
    std::uint32_t auxiliary2Offset;
    bool compressionClearsWord;  // SetCompression also zeroes bytes 2 to 5
  };

  class EncodedHeaderImpl : public EncodedHeader {
   public:
    std::uint8_t* Attach(std::uint8_t* block, std::uint32_t length) final;
    std::uint32_t Size() const final { return layout_.size; }
    void Clear() final;
    bool SetName(const char* text) final;
    bool GetName(char* out, std::uint32_t capacity) const final;
    void SetExpiry(std::int32_t expiry) final;
    std::int32_t GetExpiry() const final;
    void SetCompression(std::uint16_t method) final;
    std::uint16_t GetCompression() const final;
    void SetAuxiliary1(std::uint32_t value) final;
    void SetLength(std::uint32_t length) final;
    std::uint32_t GetLength() const final;
    std::uint32_t GetAuxiliary2() const final;
    void SetCheck(std::uint32_t check) final;
    std::uint32_t GetCheck() const final;

    // The attached header bytes, or null.
    std::uint8_t* Bytes() const { return header_; }
    // Auxiliary word 2 has no setter among the slots; encoders set it here.
    void SetAuxiliary2(std::uint32_t value) { Put32(layout_.auxiliary2Offset, value); }

   protected:
    explicit EncodedHeaderImpl(const HeaderLayout& layout) : layout_(layout) {}

   private:
    void Put32(std::uint32_t offset, std::uint32_t value);
    std::uint32_t Get32(std::uint32_t offset) const;

    const HeaderLayout& layout_;
    std::uint8_t* header_ = nullptr;
  };

  // Format version 258: 72 bytes, 34-byte name.
  class EncodedHeader102 final : public EncodedHeaderImpl {
   public:
    static constexpr std::uint32_t HeaderSize = 72;
    static constexpr std::uint32_t NameLength = 34;
    EncodedHeader102();
  };

  // Format version 259: 86 bytes, 64-byte name.
  class EncodedHeader103 final : public EncodedHeaderImpl {
   public:
    static constexpr std::uint32_t HeaderSize = 86;
    static constexpr std::uint32_t NameLength = 64;
    EncodedHeader103();
  };

  // The header class of a format version: 259 -> EncodedHeader103, lower
  // versions -> EncodedHeader102, later versions -> null.
  static std::unique_ptr<EncodedHeader> CreateEncodedHeader(std::uint16_t formatVersion);
};

}  // namespace codec
