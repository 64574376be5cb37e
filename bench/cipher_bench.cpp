// CBC decryption of 2 KiB chunks, the way the decoder reads part data: ours
// beside OpenSSL's equivalent in the same run. OpenSSL uses the processor's
// AES instructions where it has them, so the AES ratio shows what a portable
// table-driven implementation gives away; the triple-DES pair compares two
// table-driven implementations of the same amount of work (48 DES rounds).

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "security/cbc_cipher.h"

namespace {

constexpr std::uint32_t kChunk = 2048;

std::vector<std::uint8_t> Pattern(std::size_t n, std::uint8_t seed) {
  std::vector<std::uint8_t> out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(seed + 31 * i);
  return out;
}

void OursCbcDecrypt(benchmark::State& state, std::uint32_t id, std::uint32_t keyLength) {
  security::CBCCipher cbc(id);
  const auto key = Pattern(keyLength, 1);
  cbc.GetBlockCipher()->SetKeyLength(keyLength);
  cbc.GetBlockCipher()->SetKey(key.data());
  const auto iv = Pattern(16, 2);
  cbc.SetIv(iv.data(), cbc.GetBlockCipher()->BlockSize());
  auto buffer = Pattern(kChunk, 3);
  for (auto _ : state) {
    cbc.Decrypt(buffer.data(), buffer.data(), kChunk);
    benchmark::DoNotOptimize(buffer.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kChunk);
}

void OpenSslCbcDecrypt(benchmark::State& state, const EVP_CIPHER* type, std::uint32_t keyLength) {
  std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
  const auto key = Pattern(keyLength, 1);
  const auto iv = Pattern(16, 2);
  if (type == nullptr || EVP_DecryptInit_ex(ctx.get(), type, nullptr, key.data(), iv.data()) != 1) {
    state.SkipWithError("cipher not available in OpenSSL");
    return;
  }
  EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
  auto in = Pattern(kChunk, 3);
  std::vector<std::uint8_t> out(kChunk + 16);
  int n = 0;
  for (auto _ : state) {
    EVP_DecryptUpdate(ctx.get(), out.data(), &n, in.data(), static_cast<int>(kChunk));
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kChunk);
}

void BM_Aes256CbcDecrypt2K_Ours(benchmark::State& state) { OursCbcDecrypt(state, security::kCipherAes, 32); }
void BM_Aes256CbcDecrypt2K_OpenSsl(benchmark::State& state) { OpenSslCbcDecrypt(state, EVP_aes_256_cbc(), 32); }
void BM_TripleDesCbcDecrypt2K_Ours(benchmark::State& state) { OursCbcDecrypt(state, security::kCipherTripleDes, 24); }
void BM_TripleDesCbcDecrypt2K_OpenSsl(benchmark::State& state) { OpenSslCbcDecrypt(state, EVP_des_ede3_cbc(), 24); }

// Cost of a fresh key: SetKey plus the first block (AES computes its round
// keys lazily there).
void BM_Aes256SetKeyAndFirstBlock(benchmark::State& state) {
  security::CBCCipher cbc(security::kCipherAes);
  const auto key = Pattern(32, 1);
  auto block = Pattern(16, 3);
  for (auto _ : state) {
    cbc.GetBlockCipher()->SetKey(key.data());
    cbc.Decrypt(block.data(), block.data(), 16);
    benchmark::DoNotOptimize(block.data());
  }
}

BENCHMARK(BM_Aes256CbcDecrypt2K_Ours);
BENCHMARK(BM_Aes256CbcDecrypt2K_OpenSsl);
BENCHMARK(BM_TripleDesCbcDecrypt2K_Ours);
BENCHMARK(BM_TripleDesCbcDecrypt2K_OpenSsl);
BENCHMARK(BM_Aes256SetKeyAndFirstBlock);

}  // namespace

BENCHMARK_MAIN();
