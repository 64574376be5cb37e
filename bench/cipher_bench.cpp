// CBC decryption in the stored byte order, ours beside OpenSSL's equivalent
// in the same run, in chunks of 2 KiB and of 256 KiB (the decoder's chunk):
// ours with the processor's AES instructions and with the portable
// table-driven code (both give the same bytes). The triple-DES pair compares
// two table-driven implementations of the same amount of work (48 DES
// rounds); CBC encryption is what the encoder tool runs.

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "security/cbc_cipher.h"
#include "security/kernels.h"

namespace {

std::vector<std::uint8_t> Pattern(std::size_t n, std::uint8_t seed) {
  std::vector<std::uint8_t> out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(seed + 31 * i);
  return out;
}

// range(0): chunk bytes; range(1): 1 for the portable code.
void Ours(benchmark::State& state, std::uint32_t id, std::uint32_t keyLength, bool encrypt) {
  const auto chunk = static_cast<std::uint32_t>(state.range(0));
  security::ForcePortableCrypto(state.range(1) != 0);
  security::CBCCipher cbc(id);
  security::ForcePortableCrypto(false);
  const auto key = Pattern(keyLength, 1);
  cbc.GetBlockCipher()->SetKeyLength(keyLength);
  cbc.GetBlockCipher()->SetKey(key.data());
  const auto iv = Pattern(16, 2);
  cbc.SetIv(iv.data(), cbc.GetBlockCipher()->BlockSize());
  auto buffer = Pattern(chunk, 3);
  for (auto _ : state) {
    if (encrypt) {
      cbc.Encrypt(buffer.data(), buffer.data(), chunk);
    } else {
      cbc.Decrypt(buffer.data(), buffer.data(), chunk);
    }
    benchmark::DoNotOptimize(buffer.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * chunk);
  state.SetLabel(state.range(1) != 0 ? "portable" : security::CryptoImplementation());
}

void OpenSsl(benchmark::State& state, const EVP_CIPHER* type, std::uint32_t keyLength, bool encrypt) {
  const auto chunk = static_cast<std::uint32_t>(state.range(0));
  std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
  const auto key = Pattern(keyLength, 1);
  const auto iv = Pattern(16, 2);
  if (type == nullptr || EVP_CipherInit_ex(ctx.get(), type, nullptr, key.data(), iv.data(), encrypt ? 1 : 0) != 1) {
    state.SkipWithError("cipher not available in OpenSSL");
    return;
  }
  EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
  auto in = Pattern(chunk, 3);
  std::vector<std::uint8_t> out(chunk + 16);
  int n = 0;
  for (auto _ : state) {
    EVP_CipherUpdate(ctx.get(), out.data(), &n, in.data(), static_cast<int>(chunk));
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * chunk);
}

void BM_Aes256CbcDecrypt_Ours(benchmark::State& state) { Ours(state, security::kCipherAes, 32, false); }
void BM_Aes256CbcDecrypt_OpenSsl(benchmark::State& state) { OpenSsl(state, EVP_aes_256_cbc(), 32, false); }
void BM_Aes256CbcEncrypt_Ours(benchmark::State& state) { Ours(state, security::kCipherAes, 32, true); }
void BM_Aes256CbcEncrypt_OpenSsl(benchmark::State& state) { OpenSsl(state, EVP_aes_256_cbc(), 32, true); }
void BM_TripleDesCbcDecrypt_Ours(benchmark::State& state) { Ours(state, security::kCipherTripleDes, 24, false); }
void BM_TripleDesCbcDecrypt_OpenSsl(benchmark::State& state) { OpenSsl(state, EVP_des_ede3_cbc(), 24, false); }

// Cost of a fresh key: SetKey plus the first block (AES computes its round
// keys lazily there).
void BM_Aes256SetKeyAndFirstBlock(benchmark::State& state) {
  security::ForcePortableCrypto(state.range(0) != 0);
  security::CBCCipher cbc(security::kCipherAes);
  security::ForcePortableCrypto(false);
  const auto key = Pattern(32, 1);
  auto block = Pattern(16, 3);
  for (auto _ : state) {
    cbc.GetBlockCipher()->SetKey(key.data());
    cbc.Decrypt(block.data(), block.data(), 16);
    benchmark::DoNotOptimize(block.data());
  }
  state.SetLabel(state.range(0) != 0 ? "portable" : security::CryptoImplementation());
}

// Chunk sizes, and ours through the processor's instructions (0) or the
// portable code (1).
void OursArgs(benchmark::internal::Benchmark* b) {
  for (int chunk : {2048, 256 * 1024}) b->Args({chunk, 0})->Args({chunk, 1});
}
void TheirArgs(benchmark::internal::Benchmark* b) {
  for (int chunk : {2048, 256 * 1024}) b->Args({chunk});
}

BENCHMARK(BM_Aes256CbcDecrypt_Ours)->Apply(OursArgs);
BENCHMARK(BM_Aes256CbcDecrypt_OpenSsl)->Apply(TheirArgs);
BENCHMARK(BM_Aes256CbcEncrypt_Ours)->Apply(OursArgs);
BENCHMARK(BM_Aes256CbcEncrypt_OpenSsl)->Apply(TheirArgs);
BENCHMARK(BM_TripleDesCbcDecrypt_Ours)->Args({2048, 0});
BENCHMARK(BM_TripleDesCbcDecrypt_OpenSsl)->Args({2048});
BENCHMARK(BM_Aes256SetKeyAndFirstBlock)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();
