// PBKDF2 at 100,000 iterations, ours through the reader's input adapter
// (with the processor's SHA instructions, and with the portable code: Arg 1)
// beside OpenSSL's PKCS5_PBKDF2_HMAC. For Keccak-256 the reference is
// SHA3-256, the same permutation at the same rate.

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "security/hmac.h"
#include "security/kernels.h"
#include "security/password_kdf_adapter.h"
#include "security/pbkdf2.h"

namespace {

constexpr std::uint32_t kIterations = 100000;
constexpr char kUser[] = "alice";
constexpr char kPassword[] = "correct horse battery staple";

std::vector<std::uint8_t> Salt() {
  std::vector<std::uint8_t> salt(32);
  for (std::size_t i = 0; i < salt.size(); ++i) salt[i] = static_cast<std::uint8_t>(i * 29 + 1);
  return salt;
}

template <class D>
void RunOurs(benchmark::State& state) {
  security::ForcePortableCrypto(state.range(0) != 0);
  state.SetLabel(state.range(0) != 0 ? "portable" : security::CryptoImplementation());
  const auto salt = Salt();
  std::uint8_t key[32];
  for (auto _ : state) {
    security::PasswordKdfAdapter<security::PbKdf2<security::HMac<D>>> kdf(kIterations, salt.data(), 32, 1);
    kdf.AddInput(kUser, sizeof kUser - 1);
    kdf.AddInput(kPassword, sizeof kPassword - 1);
    kdf.Derive(key, sizeof key);
    benchmark::DoNotOptimize(key);
  }
  security::ForcePortableCrypto(false);
}

void RunOpenSsl(benchmark::State& state, const EVP_MD* md) {
  const auto salt = Salt();
  std::vector<std::uint8_t> s(kUser, kUser + sizeof kUser - 1);
  s.insert(s.end(), salt.begin(), salt.end());
  std::uint8_t key[32];
  for (auto _ : state) {
    PKCS5_PBKDF2_HMAC(kPassword, sizeof kPassword - 1, s.data(), static_cast<int>(s.size()), kIterations, md,
                      sizeof key, key);
    benchmark::DoNotOptimize(key);
  }
}

void BM_Pbkdf2HmacSha256_Ours(benchmark::State& state) { RunOurs<security::Sha2Digest>(state); }
void BM_Pbkdf2HmacSha256_OpenSsl(benchmark::State& state) { RunOpenSsl(state, EVP_sha256()); }
void BM_Pbkdf2HmacKeccak256_Ours(benchmark::State& state) { RunOurs<security::KeccakF1600Digest>(state); }
void BM_Pbkdf2HmacKeccak256_OpenSslSha3_256(benchmark::State& state) { RunOpenSsl(state, EVP_sha3_256()); }

BENCHMARK(BM_Pbkdf2HmacSha256_Ours)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pbkdf2HmacSha256_OpenSsl)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pbkdf2HmacKeccak256_Ours)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pbkdf2HmacKeccak256_OpenSslSha3_256)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
