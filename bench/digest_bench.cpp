// Digest throughput over 16 KiB buffers, each beside OpenSSL's equivalent:
// ours with the processor's instructions (SHA extensions, AVX2) and with the
// portable code (Arg 1). Keccak-256 has no OpenSSL counterpart here;
// SHA3-256 runs the same permutation at the same rate and is the reference.

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "security/digest_imp.h"
#include "security/kernels.h"
#include "security/keccak_f1600_digest.h"
#include "security/sha1_digest.h"
#include "security/sha2_digest.h"

namespace {

constexpr std::size_t kBufferSize = 16 * 1024;

const std::vector<std::uint8_t>& Buffer() {
  static const std::vector<std::uint8_t> buffer = [] {
    std::vector<std::uint8_t> b(kBufferSize);
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(i * 131 + 7);
    return b;
  }();
  return buffer;
}

void RunOurs(benchmark::State& state, security::DigestImp& digest) {
  // The compression function is looked up on every call: forcing the
  // portable code affects the object already made.
  security::ForcePortableCrypto(state.range(0) != 0);
  state.SetLabel(state.range(0) != 0 ? "portable" : security::CryptoImplementation());
  const auto& buffer = Buffer();
  std::uint8_t out[64];
  for (auto _ : state) {
    digest.Reset();
    digest.Update(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
    digest.Final(out, 0);
    benchmark::DoNotOptimize(out);
  }
  security::ForcePortableCrypto(false);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBufferSize));
}

void RunOpenSsl(benchmark::State& state, const EVP_MD* md) {
  const auto& buffer = Buffer();
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  std::uint8_t out[64];
  unsigned int n = 0;
  for (auto _ : state) {
    EVP_DigestInit_ex(ctx.get(), md, nullptr);
    EVP_DigestUpdate(ctx.get(), buffer.data(), buffer.size());
    EVP_DigestFinal_ex(ctx.get(), out, &n);
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBufferSize));
}

void BM_Sha1_Ours(benchmark::State& state) {
  security::SHA1Digest d;
  RunOurs(state, d);
}
void BM_Sha1_OpenSsl(benchmark::State& state) { RunOpenSsl(state, EVP_sha1()); }

void BM_Sha256_Ours(benchmark::State& state) {
  security::Sha2Digest d(32);
  RunOurs(state, d);
}
void BM_Sha256_OpenSsl(benchmark::State& state) { RunOpenSsl(state, EVP_sha256()); }

void BM_Sha512_Ours(benchmark::State& state) {
  security::Sha2Digest d(64);
  RunOurs(state, d);
}
void BM_Sha512_OpenSsl(benchmark::State& state) { RunOpenSsl(state, EVP_sha512()); }

void BM_Keccak256_Ours(benchmark::State& state) {
  security::KeccakF1600Digest d(32);
  RunOurs(state, d);
}
void BM_Keccak256_OpenSslSha3_256(benchmark::State& state) { RunOpenSsl(state, EVP_sha3_256()); }

BENCHMARK(BM_Sha1_Ours)->Arg(0)->Arg(1);
BENCHMARK(BM_Sha1_OpenSsl);
BENCHMARK(BM_Sha256_Ours)->Arg(0)->Arg(1);
BENCHMARK(BM_Sha256_OpenSsl);
BENCHMARK(BM_Sha512_Ours)->Arg(0)->Arg(1);
BENCHMARK(BM_Sha512_OpenSsl);
BENCHMARK(BM_Keccak256_Ours)->Arg(0);
BENCHMARK(BM_Keccak256_OpenSslSha3_256);

}  // namespace

BENCHMARK_MAIN();
