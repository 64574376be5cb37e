#include "source/xp/global_pointer.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "source/xp/xp_module.h"

namespace xp {
namespace {

using Base = GlobalPointerBase;
using Registry = Base::Registry;

unsigned Version(unsigned major, unsigned minor, unsigned patch) { return (major << 16) | (minor << 8) | patch; }
const std::string kVersionRefusal = "GlobalPointer: Version mismatch detected: Ours: 2.85-0,  Theirs ";
const std::string kPidRefusal = "GlobalPointer: Possible memory corruption of shared pointer (pid mismatch)\n";

// Runs action, which must be refused with text, both thrown and written to stderr.
template <class Action>
void ExpectRefused(Action&& action, const std::string& text) {
  testing::internal::CaptureStderr();
  try {
    action();
    ADD_FAILURE() << "not refused: " << text;
  } catch (const Base::Exception& e) {
    EXPECT_EQ(e.what(), text);
    EXPECT_EQ(e.code(), 0u);
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), text);
}

// A mapping name private to this test process.
std::string TestMappingName(const char* what) {
  return "_ORLENTA_SP_TEST_" + std::to_string(Base::CurrentProcessId()) + what;
}
#ifndef _WIN32
// Whether /dev/shm shows a name (POSIX shared memory only; Windows names
// vanish with their last handle).
bool ShmExists(const std::string& name) { return std::filesystem::exists("/dev/shm/" + name); }
#endif

// A shared variable's object that counts how many of its kind are alive.
struct Counted {
  static inline std::atomic<int> alive{0};
  Counted() { ++alive; }
  ~Counted() { --alive; }
  int payload = 42;
};
constexpr Base::ObjectType kCounted{[](void* o) { ::new (o) Counted(); },
                                    [](void* o) noexcept { static_cast<Counted*>(o)->~Counted(); }};
constexpr std::uint32_t kCountedSize = Base::kHeaderSize + sizeof(Counted);

TEST(GlobalPointerKey, IsFnv1aOverBaseNameTypeAndVariable) {
  EXPECT_EQ(Base::Key("", "", ""), 0xcbf29ce484222325ull);  // published FNV-1a 64 answers
  EXPECT_EQ(Base::Key("a", "", ""), 0xaf63dc4c8601ec8cull);
  EXPECT_EQ(Base::Key("foobar", "", ""), 0x85944171f73967e8ull);
  // No separators between the three parts; only the base name of the source counts.
  EXPECT_EQ(Base::Key("dir\\sub/foo", "b", "ar"), 0x85944171f73967e8ull);
  EXPECT_EQ(Base::MappingName(0xABCDEF12), "_ORLENTA_SP_ABCDEF12_");
}

TEST(GlobalPointerRegistryCheck, RefusesOtherVersionsAndProcesses) {
  const std::uint64_t pid = Base::CurrentProcessId();
  const auto check = [pid](std::uint32_t version, std::uint64_t owner) {
    return [=] { Base::CheckRegistry(Registry(version, owner), pid); };
  };
  ExpectRefused(check(Version(2, 84, 0), pid), kVersionRefusal + "2.84-0.\n");
  ExpectRefused(check(Version(2, 85, 86), pid), kVersionRefusal + "2.85-86.\n");  // minor - patch must stay below 86
  ExpectRefused(check(Base::kVersion, pid + 1), kPidRefusal);
  EXPECT_NO_THROW(check(Version(2, 85, 85), pid)());
}

// Leaves no name in /dev/shm, even when an earlier process with this id left one.
TEST(GlobalPointerAttach, FirstAttachCreatesLaterOnesFindItOrRefuseAPlantedOne) {
  const std::string name = TestMappingName("attach");
#ifndef _WIN32
  const int fd = ::shm_open(("/" + name).c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  ASSERT_GE(fd, 0);
  const std::string leftover(24, '\xAB');  // a foreign stamp and a pointer into another address space
  ASSERT_EQ(::write(fd, leftover.data(), leftover.size()), 24);
  ::close(fd);
#endif
  std::unique_ptr<SharedMemoryMapping> first, second, third;
  std::unique_ptr<Registry> registry(Base::Attach(name.c_str(), &first));
  EXPECT_TRUE(first->created());
#ifndef _WIN32
  EXPECT_FALSE(ShmExists(name));
#endif
  EXPECT_EQ(registry->processId(), Base::CurrentProcessId());
  EXPECT_EQ(Base::Attach(name.c_str(), &second), registry.get());
  EXPECT_FALSE(second->created());
  first.reset();  // once the creator is gone the object goes with it
  second.reset();
  std::unique_ptr<Registry> fresh(Base::Attach(name.c_str(), &third));
  EXPECT_TRUE(third->created());
  Registry foreign(Base::kVersion, Base::CurrentProcessId() + 7);  // a registry planted in the mapping
  *static_cast<Registry**>(third->data()) = &foreign;
  std::unique_ptr<SharedMemoryMapping> kept;
  ExpectRefused([&] { Base::Attach(name.c_str(), &kept); }, kPidRefusal);
  EXPECT_EQ(kept, nullptr);
#ifndef _WIN32
  EXPECT_FALSE(ShmExists(GlobalPointerBase::MappingName(::getpid())));  // nor the module registry's
#endif
  EXPECT_EQ(Base::ModuleRegistry().processId(), Base::CurrentProcessId());
}

// Without shared memory (no /dev/shm, a read-only one) the module keeps a
// registry of its own instead of failing at load; a refused registry is
// still refused.
TEST(GlobalPointerAttach, WithoutAMappingTheModuleKeepsAPrivateRegistry) {
  const std::string impossible(300, 'n');  // longer than any shared-memory name may be
  std::unique_ptr<SharedMemoryMapping> mapping;
  std::unique_ptr<Registry> own;
  Registry* registry = nullptr;
  ASSERT_NO_THROW(registry = Base::AttachOrKeepPrivate(impossible.c_str(), &mapping, &own));
  EXPECT_EQ(mapping, nullptr);
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(registry, own.get());
  EXPECT_EQ(registry->processId(), Base::CurrentProcessId());

  const std::string name = TestMappingName("private");
  std::unique_ptr<Registry> shared(Base::Attach(name.c_str(), &mapping));
  std::unique_ptr<SharedMemoryMapping> second;
  std::unique_ptr<Registry> unused;
  EXPECT_EQ(Base::AttachOrKeepPrivate(name.c_str(), &second, &unused), shared.get());
  EXPECT_EQ(unused, nullptr);
  Registry foreign(Base::kVersion, Base::CurrentProcessId() + 7);
  *static_cast<Registry**>(mapping->data()) = &foreign;
  std::unique_ptr<SharedMemoryMapping> third;
  ExpectRefused([&] { Base::AttachOrKeepPrivate(name.c_str(), &third, &unused); }, kPidRefusal);
}

TEST(GlobalPointerRegistry, SameNamesShareOneObjectCountedByUsers) {
  Registry registry;
  {
    GlobalPointer<Counted> first(registry, "dir/file.cpp", "Counted", "one");
    EXPECT_TRUE(first.created());
    EXPECT_EQ(first->payload, 42);
    {
      GlobalPointer<Counted> second(registry, "other\\file.cpp", "Counted", "one");
      GlobalPointer<Counted> different(registry, "dir/file.cpp", "Counted", "two");
      EXPECT_FALSE(second.created());
      EXPECT_EQ(second.get(), first.get());
      EXPECT_EQ(first.references(), 2u);
      EXPECT_NE(different.get(), first.get());
      EXPECT_EQ(Counted::alive, 2);
    }
    EXPECT_EQ(first.references(), 1u);
    EXPECT_EQ(registry.entryCount(), 1u);  // "two" went with its last user
  }
  EXPECT_EQ(Counted::alive, 0);
  // A later user creates the variable afresh rather than finding a freed block.
  EXPECT_TRUE(GlobalPointer<Counted>(registry, "dir/file.cpp", "Counted", "one").created());
}

TEST(GlobalPointerRegistry, RefusesSizeMismatchOldInterfaceAndFailedConstruction) {
  Registry registry;
  GlobalPointer<std::uint32_t> small(registry, "f.cpp", "T", "v");
  ExpectRefused([&] { GlobalPointer<double> big(registry, "f.cpp", "T", "v"); },
                "GlobalPointer: Size mismatch detected on variable instance\n");
  EXPECT_EQ(small.references(), 1u);
  const std::string old = "GlobalPointer: Old ABI usage detected.  Recompile the calling code with new ABI\n";
  ExpectRefused([&] { registry.lookup(1); }, old);
  ExpectRefused([&] { registry.insert(1, nullptr); }, old);
  const Base::ObjectType throwing{[](void*) { throw std::runtime_error("no"); }, kCounted.destroy};
  EXPECT_THROW(registry.lookupOrCreate(1, kCountedSize, throwing), std::runtime_error);
  EXPECT_EQ(registry.entryCount(), 1u);
}

TEST(GlobalPointerRegistry, The129thVariableIsRefused) {
  Registry registry;
  std::vector<void*> blocks;
  for (std::uint64_t key = 0; key < Base::kMaxEntries; ++key) {
    blocks.push_back(registry.lookupOrCreate(key, kCountedSize, kCounted).block);
  }
  ExpectRefused([&] { registry.lookupOrCreate(1000, kCountedSize, kCounted); },
                "GlobalPointer: No room for another shared variable (128 in use)\n");
  EXPECT_EQ(registry.entryCount(), 128u);  // nothing written past the table
  for (void* block : blocks) registry.release(block, kCounted.destroy);
  EXPECT_EQ(registry.entryCount(), 0u);
  EXPECT_EQ(Counted::alive, 0);
}

TEST(GlobalPointerRegistryConcurrent, EachVariableIsCreatedExactlyOnce) {
  Registry registry;
  constexpr int kThreads = 8;
  constexpr std::size_t kKeys = 32;  // also the results' index: a size on every build
  std::vector<std::vector<Base::LookupResult>> results(kThreads, std::vector<Base::LookupResult>(kKeys));
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      while (!go) std::this_thread::yield();
      for (std::size_t i = 0; i < kKeys; ++i) {
        const std::size_t key = (i * 7 + static_cast<std::size_t>(t)) % kKeys;  // each thread in its own order
        results[t][key] = registry.lookupOrCreate(key, kCountedSize, kCounted);
      }
    });
  }
  go = true;
  for (auto& thread : threads) thread.join();
  for (std::size_t key = 0; key < kKeys; ++key) {
    int creations = 0;
    for (const auto& mine : results) {
      creations += mine[key].created;
      EXPECT_EQ(mine[key].block, results[0][key].block) << key;
    }
    EXPECT_EQ(creations, 1) << key;
  }
  EXPECT_EQ(Counted::alive, static_cast<int>(kKeys));  // objects built in vain by losers are gone
  threads.clear();
  for (const auto& mine : results) {
    threads.emplace_back([&] {
      for (const auto& result : mine) registry.release(result.block, kCounted.destroy);
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(registry.entryCount(), 0u);
  EXPECT_EQ(Counted::alive, 0);
}

// A test module built separately, with its own copy of the library (a DLL on
// Windows, a shared object elsewhere), and a call into it.
#ifdef _WIN32
using Module = std::unique_ptr<std::remove_pointer_t<HMODULE>, decltype(&::FreeLibrary)>;
Module Load(const char* path) { return Module(::LoadLibraryA(path), ::FreeLibrary); }
void* Symbol(const Module& module, const char* name) {
  return reinterpret_cast<void*>(::GetProcAddress(module.get(), name));
}
std::string LoadError() { return "LoadLibraryA error " + std::to_string(::GetLastError()); }
#else
using Module = std::unique_ptr<void, int (*)(void*)>;
Module Load(const char* path) { return Module(::dlopen(path, RTLD_NOW | RTLD_LOCAL), ::dlclose); }
void* Symbol(const Module& module, const char* name) { return ::dlsym(module.get(), name); }
std::string LoadError() { return ::dlerror(); }
#endif
template <class R, class... A>
R Call(const Module& module, const char* name, A... args) {
  auto* entry = reinterpret_cast<R (*)(A...)>(Symbol(module, (std::string("XpTestModule") + name).c_str()));
  EXPECT_NE(entry, nullptr) << name;
  return entry != nullptr ? entry(args...) : R();
}

TEST(GlobalPointerModules, TwoModulesShareTheResultContainerThroughTheRegistry) {
  const Base& ours = ResultTextSourcesVariable();
  const std::uint32_t base = ours.references();
  {
    const Module a = Load(XP_TEST_MODULE_A);
    ASSERT_NE(a, nullptr) << LoadError();
    EXPECT_EQ(Call<const void*>(a, "Registry"), &Base::ModuleRegistry());
    EXPECT_EQ(Call<const void*>(a, "ContainerBlock"), ours.block());
    EXPECT_EQ(Call<std::uint32_t>(a, "ContainerReferences"), base + 1);
    {
      const Module b = Load(XP_TEST_MODULE_B);
      ASSERT_NE(b, nullptr) << LoadError();
      EXPECT_NE(Symbol(b, "XpTestModuleRegistry"), Symbol(a, "XpTestModuleRegistry"));  // two copies
      EXPECT_EQ(Call<const void*>(b, "ContainerBlock"), ours.block());
      EXPECT_EQ(Call<std::uint32_t>(b, "ContainerReferences"), base + 2);  // the first module's reference is there
      EXPECT_STREQ(Call<const char*>(b, "Text", 0x10200002u), std::strerror(2));
    }
    EXPECT_EQ(Call<std::uint32_t>(a, "ContainerReferences"), base + 1);  // unloading gives the reference back
  }
  EXPECT_EQ(ours.references(), base);
}

// Random back-off steps (1 to 20) come from the minimal-standard generator.
TEST(SpinLock, RandomBackOffFollowsMinstdRand) {
  std::uint32_t seed = 1;
  std::minstd_rand reference(1);
  for (int i = 0; i < 10000; ++i) {
    const std::uint32_t b = SpinLock::RandomBackOff(seed);
    ASSERT_EQ(seed, reference()) << i;
    ASSERT_TRUE(b >= 1 && b <= SpinLock::kMaxBackOff) << b;
  }
  EXPECT_EQ(seed, 399268537u);  // the C++ standard's known 10000th value
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
