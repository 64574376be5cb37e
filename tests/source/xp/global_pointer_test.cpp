#include "source/xp/global_pointer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "source/xp/debugengine/base/debug_engine_state.h"
#include "source/xp/result/generic_result.h"

namespace xp {
namespace {

using Registry = GlobalPointerBase::Registry;

std::uint32_t Version(std::uint32_t major, std::uint32_t minor, std::uint32_t patch) {
  return (major << 16) | (minor << 8) | patch;
}

// Runs action, which must be refused with text, both thrown and written to stderr.
template <class Action>
void ExpectRefused(Action&& action, const std::string& text) {
  testing::internal::CaptureStderr();
  try {
    action();
    ADD_FAILURE() << "not refused: " << text;
  } catch (const GlobalPointerBase::Exception& e) {
    EXPECT_EQ(e.what(), text);
    EXPECT_EQ(e.code(), 0u);
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), text);
}

std::string VersionRefusal(const char* theirs) {
  return std::string("GlobalPointer: Version mismatch detected: Ours: 2.85-0,  Theirs ") + theirs + ".\n";
}
constexpr const char* kPidRefusal = "GlobalPointer: Possible memory corruption of shared pointer (pid mismatch)\n";

// A mapping name private to this test process and case.
std::string TestMappingName(const char* what) {
  return "_ORLENTA_SP_TEST_" + std::to_string(::getpid()) + "_" + what;
}

bool ShmExists(const std::string& name) { return std::filesystem::exists("/dev/shm/" + name); }

// Counts the objects of a shared variable alive in this process.
struct Counted {
  static inline std::atomic<int> constructed{0};
  static inline std::atomic<int> destroyed{0};
  Counted() { constructed.fetch_add(1); }
  ~Counted() { destroyed.fetch_add(1); }
  int payload = 42;
};

void ConstructCounted(void* object) { ::new (object) Counted(); }
void DestroyCounted(void* object) noexcept { static_cast<Counted*>(object)->~Counted(); }
constexpr GlobalPointerBase::ObjectType kCounted{ConstructCounted, DestroyCounted};
constexpr std::uint32_t kCountedSize = GlobalPointerBase::kHeaderSize + sizeof(Counted);

// ---- keys and names ----

TEST(GlobalPointerKey, IsFnv1aOverBaseNameTypeAndVariable) {
  // Published FNV-1a 64 answers.
  EXPECT_EQ(GlobalPointerBase::Key("", "", ""), 0xcbf29ce484222325ull);
  EXPECT_EQ(GlobalPointerBase::Key("a", "", ""), 0xaf63dc4c8601ec8cull);
  EXPECT_EQ(GlobalPointerBase::Key("foobar", "", ""), 0x85944171f73967e8ull);
  // No separators between the three parts; only the base name of the source counts.
  EXPECT_EQ(GlobalPointerBase::Key("dir\\sub/foo", "b", "ar"), 0x85944171f73967e8ull);
  EXPECT_EQ(GlobalPointerBase::Key("source/xp/result", "GenericResult::TextSourceContainer", "container"),
            GlobalPointerBase::Key("resultGenericResult::TextSourceContainercontainer", "", ""));
  EXPECT_NE(GlobalPointerBase::Key("source/xp/result", "GenericResult::TextSourceContainer", "container"),
            GlobalPointerBase::Key("source/xp/debugengine/base", "DebugEngineState", "state"));
}

TEST(GlobalPointerKey, MappingNameCarriesTheProcessId) {
  EXPECT_EQ(GlobalPointerBase::MappingName(0x1234), "_ORLENTA_SP_00001234_");
  EXPECT_EQ(GlobalPointerBase::MappingName(0xABCDEF12), "_ORLENTA_SP_ABCDEF12_");
  EXPECT_EQ(GlobalPointerBase::MappingName(0x123456789ABCDEF0ull), "_ORLENTA_SP_123456789ABCDEF0_");
}

// ---- registry checks ----

TEST(GlobalPointerRegistryCheck, RefusesOtherVersionsAndProcesses) {
  const std::uint64_t pid = GlobalPointerBase::CurrentProcessId();
  const auto check = [pid](std::uint32_t version, std::uint64_t owner) {
    return [=] { GlobalPointerBase::CheckRegistry(Registry(version, owner), pid); };
  };
  ExpectRefused(check(Version(2, 84, 0), pid), VersionRefusal("2.84-0"));
  ExpectRefused(check(Version(3, 85, 0), pid), VersionRefusal("3.85-0"));
  // Minor minus patch, unsigned, must stay below 86.
  ExpectRefused(check(Version(2, 85, 86), pid), VersionRefusal("2.85-86"));
  ExpectRefused(check(GlobalPointerBase::kVersion, pid + 1), kPidRefusal);
  EXPECT_NO_THROW(check(Version(2, 85, 85), pid)());
  EXPECT_NO_THROW(check(GlobalPointerBase::kVersion, pid)());
}

TEST(GlobalPointerAttach, RefusesAPlantedRegistry) {
  const std::uint64_t pid = GlobalPointerBase::CurrentProcessId();
  Registry old(Version(2, 84, 0), pid);
  Registry foreign(GlobalPointerBase::kVersion, pid + 7);
  struct Case {
    Registry* planted;
    std::string text;
  } cases[] = {{&old, VersionRefusal("2.84-0")}, {&foreign, kPidRefusal}};
  for (const Case& c : cases) {
    const std::string name = TestMappingName("planted");
    auto planted = SharedMemoryMapping::Open(sizeof(Registry*), SharedMemoryMapping::kReadWrite, name.c_str(),
                                             SharedMemoryMapping::kCreate);
    ASSERT_TRUE(planted->created());
    std::memcpy(planted->data(), &c.planted, sizeof c.planted);

    std::unique_ptr<SharedMemoryMapping> kept;
    ExpectRefused([&] { GlobalPointerBase::Attach(name.c_str(), &kept); }, c.text);
    EXPECT_EQ(kept, nullptr);
  }
}

TEST(GlobalPointerAttach, FirstAttachCreatesLaterOnesFindItWithoutAName) {
  const std::string name = TestMappingName("fresh");
  std::unique_ptr<SharedMemoryMapping> first;
  std::unique_ptr<SharedMemoryMapping> second;
  std::unique_ptr<Registry> registry(GlobalPointerBase::Attach(name.c_str(), &first));
  EXPECT_TRUE(first->created());
  EXPECT_FALSE(ShmExists(name));  // nothing for a killed process to leave behind
  EXPECT_EQ(GlobalPointerBase::Attach(name.c_str(), &second), registry.get());
  EXPECT_FALSE(second->created());
  EXPECT_EQ(registry->version(), GlobalPointerBase::kVersion);
  EXPECT_EQ(registry->processId(), GlobalPointerBase::CurrentProcessId());

  // Once the creator is gone the object is gone with it.
  first.reset();
  second.reset();
  std::unique_ptr<SharedMemoryMapping> third;
  std::unique_ptr<Registry> fresh(GlobalPointerBase::Attach(name.c_str(), &third));
  EXPECT_TRUE(third->created());
  EXPECT_NE(fresh.get(), nullptr);
}

TEST(GlobalPointerAttach, LeftoverOfAnEarlierProcessIsReplaced) {
  const std::string name = TestMappingName("stale");
  // What a crashed process with our id would have left: a foreign stamp and
  // a pointer into its own address space.
  const int fd = ::shm_open(("/" + name).c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  ASSERT_GE(fd, 0);
  unsigned char leftover[24];
  std::memset(leftover, 0xAB, sizeof leftover);
  ASSERT_EQ(::write(fd, leftover, sizeof leftover), static_cast<ssize_t>(sizeof leftover));
  ::close(fd);

  std::unique_ptr<SharedMemoryMapping> mapping;
  std::unique_ptr<Registry> registry(GlobalPointerBase::Attach(name.c_str(), &mapping));
  EXPECT_TRUE(mapping->created());
  EXPECT_EQ(registry->processId(), GlobalPointerBase::CurrentProcessId());
  EXPECT_FALSE(ShmExists(name));
}

TEST(GlobalPointerAttach, ModuleRegistryIsFoundThroughTheProcessMapping) {
  Registry& registry = GlobalPointerBase::ModuleRegistry();
  EXPECT_EQ(&registry, &GlobalPointerBase::ModuleRegistry());
  EXPECT_EQ(registry.processId(), static_cast<std::uint64_t>(::getpid()));
  EXPECT_FALSE(ShmExists(GlobalPointerBase::MappingName(::getpid())));
  // The module's own shared variables are there.
  EXPECT_GE(registry.entryCount(), 2u);
  EXPECT_EQ(DebugEngineState::Instance().lock.spinCount, 100u);
  EXPECT_EQ(DebugEngineState::Instance().word, 0u);
}

// ---- lookups ----

TEST(GlobalPointerRegistry, SameNamesShareOneObjectCountedByUsers) {
  Registry registry;
  const int before = Counted::constructed - Counted::destroyed;
  {
    GlobalPointer<Counted> first(registry, "dir/file.cpp", "Counted", "one");
    EXPECT_TRUE(first.created());
    EXPECT_EQ(first.references(), 1u);
    EXPECT_EQ(first->payload, 42);
    {
      GlobalPointer<Counted> second(registry, "other\\file.cpp", "Counted", "one");
      EXPECT_FALSE(second.created());
      EXPECT_EQ(second.get(), first.get());
      EXPECT_EQ(first.references(), 2u);
      GlobalPointer<Counted> different(registry, "dir/file.cpp", "Counted", "two");
      EXPECT_NE(different.get(), first.get());
      EXPECT_EQ(registry.entryCount(), 2u);
    }
    EXPECT_EQ(first.references(), 1u);
    EXPECT_EQ(registry.entryCount(), 1u);  // "two" went with its last user
  }
  EXPECT_EQ(registry.entryCount(), 0u);
  EXPECT_EQ(Counted::constructed - Counted::destroyed, before);

  // A later user creates the variable afresh rather than finding a freed block.
  GlobalPointer<Counted> again(registry, "dir/file.cpp", "Counted", "one");
  EXPECT_TRUE(again.created());
  EXPECT_EQ(again.references(), 1u);
}

TEST(GlobalPointerRegistry, SizeMismatchIsRefused) {
  Registry registry;
  GlobalPointer<std::uint32_t> small(registry, "f.cpp", "T", "v");
  ExpectRefused([&] { GlobalPointer<double> big(registry, "f.cpp", "T", "v"); },
                "GlobalPointer: Size mismatch detected on variable instance\n");
  EXPECT_EQ(small.references(), 1u);
}

TEST(GlobalPointerRegistry, The129thVariableIsRefused) {
  Registry registry;
  const int before = Counted::constructed - Counted::destroyed;
  std::vector<void*> blocks;
  for (std::uint64_t key = 0; key < GlobalPointerBase::kMaxEntries; ++key) {
    const auto result = registry.lookupOrCreate(key, kCountedSize, kCounted);
    ASSERT_TRUE(result.created);
    blocks.push_back(result.block);
  }
  ExpectRefused([&] { registry.lookupOrCreate(1000, kCountedSize, kCounted); },
                "GlobalPointer: No room for another shared variable (128 in use)\n");
  EXPECT_EQ(registry.entryCount(), 128u);
  // Existing variables are still found.
  const auto found = registry.lookupOrCreate(5, kCountedSize, kCounted);
  EXPECT_FALSE(found.created);
  EXPECT_EQ(found.block, blocks[5]);
  registry.release(found.block, DestroyCounted);

  for (void* block : blocks) registry.release(block, DestroyCounted);
  EXPECT_EQ(registry.entryCount(), 0u);
  EXPECT_EQ(Counted::constructed - Counted::destroyed, before);
}

TEST(GlobalPointerRegistry, FailedConstructionLeavesNothingBehind) {
  Registry registry;
  const GlobalPointerBase::ObjectType throwing{[](void*) { throw std::runtime_error("no"); }, DestroyCounted};
  EXPECT_THROW(registry.lookupOrCreate(1, kCountedSize, throwing), std::runtime_error);
  EXPECT_EQ(registry.entryCount(), 0u);
}

TEST(GlobalPointerRegistry, OldInterfaceIsRefused) {
  Registry registry;
  const char* text = "GlobalPointer: Old ABI usage detected.  Recompile the calling code with new ABI\n";
  ExpectRefused([&] { registry.lookup(1); }, text);
  ExpectRefused([&] { registry.insert(1, nullptr); }, text);
}

TEST(GlobalPointerRegistryConcurrent, EachVariableIsCreatedExactlyOnce) {
  Registry registry;
  constexpr int kThreads = 8;
  constexpr std::uint64_t kKeys = 32;
  const int before = Counted::constructed - Counted::destroyed;
  std::vector<std::vector<GlobalPointerBase::LookupResult>> results(kThreads);
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      while (!go.load()) std::this_thread::yield();
      for (std::uint64_t key = 0; key < kKeys; ++key) {
        results[t].push_back(registry.lookupOrCreate((key * 7 + t) % kKeys, kCountedSize, kCounted));
      }
    });
  }
  go = true;
  for (auto& thread : threads) thread.join();

  std::vector<int> creations(kKeys, 0);
  std::vector<void*> blockOf(kKeys, nullptr);
  for (int t = 0; t < kThreads; ++t) {
    for (std::uint64_t i = 0; i < kKeys; ++i) {
      const std::uint64_t key = (i * 7 + t) % kKeys;
      const auto& result = results[t][i];
      creations[key] += result.created ? 1 : 0;
      if (blockOf[key] == nullptr) blockOf[key] = result.block;
      EXPECT_EQ(result.block, blockOf[key]) << key;
    }
  }
  for (std::uint64_t key = 0; key < kKeys; ++key) EXPECT_EQ(creations[key], 1) << key;
  EXPECT_EQ(registry.entryCount(), kKeys);
  // Objects built in vain by losing threads are gone again.
  EXPECT_EQ(Counted::constructed - Counted::destroyed, before + static_cast<int>(kKeys));

  threads.clear();
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (const auto& result : results[t]) registry.release(result.block, DestroyCounted);
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(registry.entryCount(), 0u);
  EXPECT_EQ(Counted::constructed - Counted::destroyed, before);
}

// ---- spin lock ----

TEST(SpinLock, BackOffEstimate) {
  EXPECT_EQ(SpinLock::NextEstimate(8, 8, 3), 4u);     // needed no more: halve
  EXPECT_EQ(SpinLock::NextEstimate(3, 8, 3), 11u);    // needed more: add 2^steps
  EXPECT_EQ(SpinLock::NextEstimate(10, 16, 4), 20u);  // capped
  EXPECT_EQ(SpinLock::NextEstimate(1, 20, 40), 20u);  // no shift past the width
  EXPECT_EQ(SpinLock::NextEstimate(3, 5, 0), 3u);     // no back-off step: unchanged
}

TEST(SpinLock, RandomBackOffIsTheMinimalStandardGenerator) {
  std::uint32_t seed = 1;
  const std::uint32_t expected[] = {1, 7, 6, 17};
  for (std::uint32_t value : expected) EXPECT_EQ(SpinLock::RandomBackOff(seed), value);
  EXPECT_EQ(seed, 1914720637u);
  for (int i = 0; i < 1000; ++i) {
    const std::uint32_t b = SpinLock::RandomBackOff(seed);
    EXPECT_GE(b, 1u);
    EXPECT_LE(b, 20u);
  }
}

TEST(SpinLockConcurrent, ExcludesOtherHolders) {
  SpinLock lock;
  long counter = 0;  // guarded by lock only
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        SpinLockGuard guard(lock);
        ++counter;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(counter, 80000);
  EXPECT_EQ(lock.lockWord.load(), 0u);
  EXPECT_LE(lock.backOffEstimate.load(), SpinLock::kMaxBackOff);
}

}  // namespace
}  // namespace xp
