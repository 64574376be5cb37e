#pragma once
// A named block of shared memory that every module of the process can find
// by name (CreateFileMappingA on Windows, shm_open on POSIX). Its first
// 32-bit word holds the size of the caller's data, which follows it.

#include <cstdint>
#include <memory>

namespace xp {

class SharedMemoryMapping {
 public:
  enum Access : unsigned { kReadWrite = 1 };
  enum OpenFlags : unsigned { kCreate = 1, kOpenExisting = 2 };

  // Opens the mapping called name, or creates it with size data bytes, as
  // flags allow. Returns null when only kOpenExisting is given and there is
  // no such mapping. Throws XPException ("Could not create shared memory file
  // mapping", error code) on any other failure. security is the platform's
  // security description (null: the default; ignored on POSIX, where the
  // object is readable by its owner only).
  static std::unique_ptr<SharedMemoryMapping> Open(std::uint32_t size, unsigned access, const char* name,
                                                   unsigned flags, const void* security = nullptr);

  // Unmaps the block. On POSIX the object has no name once set up; the
  // creator's mapping keeps it findable until the creator goes.
  virtual ~SharedMemoryMapping() = default;
  // The caller's data, aligned for a pointer.
  virtual void* data() const = 0;
  // The size of the caller's data, as the creator stored it.
  virtual std::uint32_t size() const = 0;
  // Whether this call created the mapping.
  virtual bool created() const = 0;
};

}  // namespace xp
