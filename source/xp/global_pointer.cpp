#include "source/xp/global_pointer.h"

#include <cstdio>
#include <cstring>

#include "source/xp/platform.h"

namespace xp {
namespace {

constexpr const char* kOldAbiText = "GlobalPointer: Old ABI usage detected.  Recompile the calling code with new ABI\n";
constexpr const char* kVersionFormat = "GlobalPointer: Version mismatch detected: Ours: %u.%u-%u,  Theirs %u.%u-%u.\n";
constexpr const char* kPidText = "GlobalPointer: Possible memory corruption of shared pointer (pid mismatch)\n";
constexpr const char* kSizeText = "GlobalPointer: Size mismatch detected on variable instance\n";
constexpr const char* kFullText = "GlobalPointer: No room for another shared variable (128 in use)\n";
constexpr const char* kMissingText = "GlobalPointer: Shared pointer registry not found\n";

// How long a module waits for the creator of the mapping to publish the registry.
constexpr int kPublishWaitRounds = 100000;

[[noreturn]] void Refuse(const char* text) {
  std::fputs(text, stderr);
  throw GlobalPointerBase::Exception(text);
}

GlobalPointerBase::BlockHeader* Header(void* block) {
  return std::launder(static_cast<GlobalPointerBase::BlockHeader*>(block));
}

void* Object(void* block) { return static_cast<unsigned char*>(block) + GlobalPointerBase::kHeaderSize; }

void FreeBlock(void* block, void (*destroy)(void*) noexcept) {
  if (destroy != nullptr) destroy(Object(block));
  Header(block)->~BlockHeader();
  ::operator delete(block);
}

}  // namespace

// ---- Registry ----

GlobalPointerBase::Registry::Registry(std::uint32_t version, std::uint64_t processId)
    : version_(version), processId_(processId) {}

GlobalPointerBase::Registry::~Registry() = default;

void* GlobalPointerBase::Registry::lookup(std::uint64_t) { Refuse(kOldAbiText); }

void* GlobalPointerBase::Registry::insert(std::uint64_t, void*) { Refuse(kOldAbiText); }

GlobalPointerBase::LookupResult GlobalPointerBase::Registry::lookupOrCreate(std::uint64_t key, std::uint32_t size,
                                                                           const ObjectType& type) {
  if (size < kHeaderSize) Refuse(kSizeText);
  void* fresh = nullptr;
  for (;;) {
    void* found = nullptr;
    bool full = false;
    {
      SpinLockGuard guard(lock_);
      for (std::uint32_t i = 0; i < count_; ++i) {
        if (entries_[i].key == key) {
          found = entries_[i].block;
          Header(found)->references.fetch_add(1, std::memory_order_relaxed);
          break;
        }
      }
      if (found == nullptr) {
        if (count_ == kMaxEntries) {
          full = true;
        } else if (fresh != nullptr) {
          entries_[count_++] = Entry{key, fresh};
          return LookupResult{true, fresh};
        }
      }
    }
    if (found != nullptr || full) {
      if (fresh != nullptr) FreeBlock(fresh, type.destroy);
      if (full) Refuse(kFullText);
      return LookupResult{false, found};
    }
    // Not there: build a block outside the lock and look again. Blocks are
    // raw memory in the layout every module of the process shares (size,
    // count, object), freed by whichever module drops the last reference.
    fresh = ::operator new(size);
    ::new (fresh) BlockHeader{size, {1}};
    try {
      type.construct(Object(fresh));
    } catch (...) {
      FreeBlock(fresh, nullptr);
      throw;
    }
  }
}

void GlobalPointerBase::Registry::release(void* block, void (*destroy)(void*) noexcept) {
  bool last = false;
  {
    SpinLockGuard guard(lock_);
    if (Header(block)->references.fetch_sub(1, std::memory_order_acq_rel) == 1) {
      last = true;
      // Forget the block so that a later user creates a fresh one instead of
      // finding a freed one.
      for (std::uint32_t i = 0; i < count_; ++i) {
        if (entries_[i].block == block) {
          entries_[i] = entries_[--count_];
          entries_[count_] = Entry{};
          break;
        }
      }
    }
  }
  if (last) FreeBlock(block, destroy);
}

std::uint32_t GlobalPointerBase::Registry::entryCount() {
  SpinLockGuard guard(lock_);
  return count_;
}

// ---- GlobalPointerBase ----

std::uint64_t GlobalPointerBase::Key(const char* sourceFile, const char* typeName, const char* variableName) {
  const char* base = sourceFile;
  for (const char* p = sourceFile; *p != '\0'; ++p) {
    if (*p == '\\' || *p == '/') base = p + 1;
  }
  std::uint64_t hash = 0xcbf29ce484222325ull;
  for (const char* text : {base, typeName, variableName}) {
    for (const char* p = text; *p != '\0'; ++p) {
      hash ^= static_cast<unsigned char>(*p);
      hash *= 0x100000001b3ull;
    }
  }
  return hash;
}

std::string GlobalPointerBase::MappingName(std::uint64_t processId) {
  char name[32];
  std::snprintf(name, sizeof name, "_ORLENTA_SP_%08llX_", static_cast<unsigned long long>(processId));
  return name;
}

std::uint64_t GlobalPointerBase::CurrentProcessId() { return platform::CurrentProcessId(); }

void GlobalPointerBase::CheckRegistry(const Registry& registry, std::uint64_t processId) {
  const std::uint32_t version = registry.version();
  const std::uint32_t major = version >> 16;
  const std::uint32_t minor = (version >> 8) & 0xFFu;
  const std::uint32_t patch = version & 0xFFu;
  if (major != kMajor || minor != kMinor || minor - patch >= 86u) {
    char text[128];
    std::snprintf(text, sizeof text, kVersionFormat, kMajor, kMinor, kPatch, major, minor, patch);
    Refuse(text);
  }
  if (registry.processId() != processId) Refuse(kPidText);
}

GlobalPointerBase::Registry* GlobalPointerBase::Attach(const char* mappingName,
                                                       std::unique_ptr<SharedMemoryMapping>* mapping) {
  auto found = SharedMemoryMapping::Open(sizeof(Registry*), SharedMemoryMapping::kReadWrite, mappingName,
                                         SharedMemoryMapping::kCreate | SharedMemoryMapping::kOpenExisting);
  std::atomic_ref<Registry*> cell(*static_cast<Registry**>(found->data()));
  Registry* registry = nullptr;
  if (found->created()) {
    // The registry is reached by every module of the process through a bare
    // pointer in the mapping and outlives this module, so no owner of ours
    // may free it.
    registry = new Registry();
    cell.store(registry, std::memory_order_release);
  } else {
    // The creator publishes its registry right after creating the mapping.
    for (int round = 0; (registry = cell.load(std::memory_order_acquire)) == nullptr; ++round) {
      if (round == kPublishWaitRounds) Refuse(kMissingText);
      platform::YieldThread();
    }
  }
  CheckRegistry(*registry, CurrentProcessId());
  *mapping = std::move(found);
  return registry;
}

GlobalPointerBase::Registry* GlobalPointerBase::AttachOrKeepPrivate(
    const char* mappingName, std::unique_ptr<SharedMemoryMapping>* mapping,
    std::unique_ptr<Registry>* privateRegistry) {
  try {
    return Attach(mappingName, mapping);
  } catch (const Exception&) {
    throw;  // a registry was found and is not ours to use
  } catch (const XPException&) {
    // The mapping itself could not be had.
    *privateRegistry = std::make_unique<Registry>();
    return privateRegistry->get();
  }
}

namespace {

// The module's attachment: the mapping stays mapped while the module lives.
struct ModuleAttachment {
  ModuleAttachment()
      : registry(GlobalPointerBase::AttachOrKeepPrivate(
            GlobalPointerBase::MappingName(GlobalPointerBase::CurrentProcessId()).c_str(), &mapping, &own)) {}
  std::unique_ptr<SharedMemoryMapping> mapping;
  std::unique_ptr<GlobalPointerBase::Registry> own;
  GlobalPointerBase::Registry* registry;
};

}  // namespace

GlobalPointerBase::Registry& GlobalPointerBase::ModuleRegistry() {
  static const ModuleAttachment attachment;
  return *attachment.registry;
}

GlobalPointerBase::GlobalPointerBase(Registry* registry, const char* sourceFile, const char* typeName,
                                     const char* variableName, std::uint32_t size, const ObjectType& type)
    : registry_(registry != nullptr ? registry : &ModuleRegistry()), block_(nullptr), destroy_(type.destroy),
      created_(false) {
  const LookupResult result = registry_->lookupOrCreate(Key(sourceFile, typeName, variableName), size, type);
  if (Header(result.block)->size != size) {
    // Another holder keeps the block alive, so this never destroys it.
    registry_->release(result.block, nullptr);
    Refuse(kSizeText);
  }
  block_ = result.block;
  created_ = result.created;
}

GlobalPointerBase::~GlobalPointerBase() { registry_->release(block_, destroy_); }

std::uint32_t GlobalPointerBase::references() const {
  return Header(block_)->references.load(std::memory_order_acquire);
}

}  // namespace xp
