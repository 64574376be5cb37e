#pragma once
// Process-wide shared variables. Several modules loaded into one process
// (each with its own copy of this library) share one instance of an object
// through a registry that the first module creates and every module finds
// through the named mapping "_ORLENTA_SP_<process id>_".

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>

#include "source/xp/shared_memory_mapping.h"
#include "source/xp/spin_lock.h"
#include "source/xp/xp_exception.h"

namespace xp {

class GlobalPointerBase {
 public:
  class Exception : public XPException {
   public:
    using XPException::XPException;
  };

  static constexpr std::uint32_t kMajor = 2;
  static constexpr std::uint32_t kMinor = 85;
  static constexpr std::uint32_t kPatch = 0;
  static constexpr std::uint32_t kVersion = (kMajor << 16) | (kMinor << 8) | kPatch;
  static constexpr std::uint32_t kMaxEntries = 128;

  // A shared variable's block: this header, then the object.
  struct BlockHeader {
    std::uint32_t size;  // the whole block, as the variable asked for it
    std::atomic<std::uint32_t> references;
  };
  static constexpr std::uint32_t kHeaderSize = 8;
  static_assert(sizeof(BlockHeader) == kHeaderSize);

  // How a variable's object is made and unmade inside its block.
  struct ObjectType {
    void (*construct)(void* object);
    void (*destroy)(void* object) noexcept;
  };

  struct LookupResult {
    bool created;
    void* block;
  };

  // The registry: one per process, created by the first module that needs it.
  class Registry {
   public:
    explicit Registry(std::uint32_t version = kVersion, std::uint64_t processId = CurrentProcessId());
    virtual ~Registry();
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    // Entries of an earlier interface; always refused.
    [[noreturn]] virtual void* lookup(std::uint64_t key);
    [[noreturn]] virtual void* insert(std::uint64_t key, void* block);
    // Finds the block under key, taking a reference to it, or creates one of
    // size bytes with type's object constructed in it and one reference.
    // Allocation and construction never happen under the lock; a block built
    // in vain (another thread published first) is destroyed again. Throws
    // Exception when all entries are in use, and passes on construction failures.
    virtual LookupResult lookupOrCreate(std::uint64_t key, std::uint32_t size, const ObjectType& type);
    // Gives up one reference. The last one removes the entry, destroys the
    // object with destroy and frees the block.
    virtual void release(void* block, void (*destroy)(void* object) noexcept);

    std::uint32_t version() const { return version_; }
    std::uint64_t processId() const { return processId_; }
    std::uint32_t entryCount();

   private:
    struct Entry {
      std::uint64_t key;
      void* block;
    };

    std::uint32_t version_;
    std::uint64_t processId_;
    SpinLock lock_;
    Entry entries_[kMaxEntries] = {};
    std::uint32_t count_ = 0;
  };

  // 64-bit FNV-1a over the base name of sourceFile (after its last "\" or
  // "/"), typeName and variableName, without separators.
  static std::uint64_t Key(const char* sourceFile, const char* typeName, const char* variableName);
  // "_ORLENTA_SP_%08llX_" for the process id.
  static std::string MappingName(std::uint64_t processId);
  // Refuses a registry of another version or process: writes the text to the
  // standard error stream and throws Exception with it.
  static void CheckRegistry(const Registry& registry, std::uint64_t processId);
  // Finds the registry through the mapping called mappingName, creating both
  // when this is the first caller. The mapping must be kept (in *mapping)
  // for as long as the registry is used. Throws Exception when the registry
  // found is refused.
  static Registry* Attach(const char* mappingName, std::unique_ptr<SharedMemoryMapping>* mapping);
  // Attach, or, when the system cannot give the mapping at all (no shared
  // memory: /dev/shm missing or read-only), a registry of this module's own
  // in *privateRegistry, so that the module still loads; only modules that
  // share a mapping share their variables. A registry found and refused is
  // still refused with Exception.
  static Registry* AttachOrKeepPrivate(const char* mappingName, std::unique_ptr<SharedMemoryMapping>* mapping,
                                       std::unique_ptr<Registry>* privateRegistry);
  // This module's registry, attached on first use.
  static Registry& ModuleRegistry();
  static std::uint64_t CurrentProcessId();

  GlobalPointerBase(const GlobalPointerBase&) = delete;
  GlobalPointerBase& operator=(const GlobalPointerBase&) = delete;

  // Whether this variable created the shared object.
  bool created() const { return created_; }
  // References held on the shared object by every user in the process.
  std::uint32_t references() const;
  const void* block() const { return block_; }

 protected:
  // Obtains the shared block (in the module's registry, or the one given)
  // and takes a reference. Throws Exception when the block found was made
  // with another size.
  GlobalPointerBase(Registry* registry, const char* sourceFile, const char* typeName, const char* variableName,
                    std::uint32_t size, const ObjectType& type);
  // Gives the reference back; the last user destroys the object.
  ~GlobalPointerBase();
  void* object() const { return static_cast<unsigned char*>(block_) + kHeaderSize; }

 private:
  Registry* registry_;
  void* block_;
  void (*destroy_)(void* object) noexcept;
  bool created_;
};

template <class T>
class GlobalPointer : public GlobalPointerBase {
  static_assert(alignof(T) <= kHeaderSize, "the object follows an 8-byte header");

 public:
  static constexpr std::uint32_t kSize = kHeaderSize + sizeof(T);

  GlobalPointer(const char* sourceFile, const char* typeName, const char* variableName)
      : GlobalPointerBase(nullptr, sourceFile, typeName, variableName, kSize, kType) {}
  GlobalPointer(Registry& registry, const char* sourceFile, const char* typeName, const char* variableName)
      : GlobalPointerBase(&registry, sourceFile, typeName, variableName, kSize, kType) {}

  T* get() const { return std::launder(static_cast<T*>(object())); }
  T* operator->() const { return get(); }
  T& operator*() const { return *get(); }

 private:
  static void Construct(void* object) { ::new (object) T(); }
  static void Destroy(void* object) noexcept { static_cast<T*>(object)->~T(); }
  static constexpr ObjectType kType{Construct, Destroy};
};

}  // namespace xp
