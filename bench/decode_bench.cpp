// End-to-end decoding throughput of AES-256 documents with SHA-256 part
// digests, from memory through a MemoryReader into a writer that drops the
// bytes, once with stored and once with compressed parts; ours with the
// processor's instructions and ISA-L (where built), and with the portable
// primitives and zlib (second argument 1). Beside each, a
// baseline measured in the same run does the same work with OpenSSL and zlib
// directly: AES-256-CBC decryption of the stored bytes in 2 KiB chunks,
// SHA-256 of the content and, for compressed parts, inflating into 4 KiB
// areas. Throughput is content bytes per second in every case.

#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "codec/counting_decode_writer.h"
#include "codec/decode_result.h"
#include "codec/document_decoder.h"
#include "codec/inflate_engine.h"
#include "codec/memory_reader.h"
#include "codec/vp_decode_writer.h"
#include "security/kernels.h"
#include "tools/encoder/document_encoder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kContentSize = 16u << 20;
constexpr int kParts = 4;

// Text-like content that deflate shrinks to roughly a third.
Bytes Content() {
  static const char* const kWords[] = {"document", "reader", "part", "stream", "the", "of",
                                       "encrypted", "and", "value", "2024", "<p>", "</p>\n"};
  Bytes out;
  out.reserve(kContentSize);
  std::uint32_t x = 12345;
  while (out.size() < kContentSize) {
    x = x * 1103515245u + 12345u;
    const char* w = kWords[(x >> 16) % 12];
    out.insert(out.end(), w, w + std::char_traits<char>::length(w));
    out.push_back(static_cast<std::uint8_t>((x >> 8) % 3 == 0 ? ' ' : 'a' + (x >> 24) % 26));
  }
  out.resize(kContentSize);
  return out;
}

encoder::DocumentSpec Layout(std::uint16_t compression) {
  const Bytes content = Content();
  encoder::DocumentSpec layout;
  layout.cipherId = 5;
  layout.keyBits = 256;
  layout.kdfId = 4;
  layout.iterationThousands = 0;
  layout.salt[0] = 1;  // one PBKDF2 iteration: the benchmark measures the body
  layout.bodyDigestId = 3;
  layout.userName = "bench";
  layout.password = "mark";
  const std::size_t per = kContentSize / kParts;
  for (int i = 0; i < kParts; ++i) {
    encoder::PartSpec part;
    part.name = "part" + std::to_string(i);
    part.content.assign(content.begin() + static_cast<std::ptrdiff_t>(i * per),
                        content.begin() + static_cast<std::ptrdiff_t>((i + 1) * per));
    part.compression = compression;
    layout.parts.push_back(std::move(part));
  }
  return layout;
}

const Bytes& Document(std::uint16_t compression) {
  static const Bytes stored = [] {
    Bytes out;
    encoder::EncodeDocument(Layout(0), out);
    return out;
  }();
  static const Bytes compressed = [] {
    Bytes out;
    encoder::EncodeDocument(Layout(1), out);
    return out;
  }();
  return compression == 0 ? stored : compressed;
}

void BM_DecodeDocument(benchmark::State& state) {
  const auto compression = static_cast<std::uint16_t>(state.range(0));
  const bool portable = state.range(1) != 0;
  const Bytes& document = Document(compression);
  security::ForcePortableCrypto(portable);
  codec::ForceInflateImplementation(portable ? std::optional(codec::InflateImplementation::Zlib) : std::nullopt);
  for (auto _ : state) {
    codec::MemoryReader source(document.data(), static_cast<std::uint32_t>(document.size()));
    codec::CountingDecodeWriter writer;
    codec::DocumentDecoder decoder(source, writer);
    const codec::DecodeResult result = decoder.DecodeDocument("bench", "mark", false);
    if (result != codec::DecodeResult::Ok || writer.bytes != kContentSize) {
      state.SkipWithError("decoding failed");
      break;
    }
  }
  security::ForcePortableCrypto(false);
  codec::ForceInflateImplementation(std::nullopt);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kContentSize);
  state.SetLabel(std::string(compression == 0 ? "stored, " : "compressed, ") +
                 (portable ? "portable, zlib"
                           : std::string(security::CryptoImplementation()) + ", " +
                                 codec::InflateImplementationName(codec::SelectedInflateImplementation())));
}

// The same work with OpenSSL and zlib: decrypt every stored byte of the
// document body, inflate the compressed stream (deflated here at the
// encoder's default level) and hash the content.
void BM_Baseline(benchmark::State& state) {
  const auto compression = static_cast<std::uint16_t>(state.range(0));
  const Bytes& document = Document(compression);
  const Bytes body(document.begin() + 62, document.end());  // after header and salt
  const Bytes content = Content();
  std::vector<Bytes> streams;
  if (compression == 1) {
    const std::size_t per = kContentSize / kParts;
    for (int i = 0; i < kParts; ++i) {
      uLongf length = compressBound(per);
      Bytes stream(length);
      compress2(stream.data(), &length, content.data() + i * per, per, 6);
      stream.resize(length);
      streams.push_back(std::move(stream));
    }
  }
  const std::uint8_t key[32] = {1, 2, 3};
  const std::uint8_t iv[16] = {4, 5, 6};
  std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> cipher(EVP_CIPHER_CTX_new(),
                                                                          EVP_CIPHER_CTX_free);
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> md(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  Bytes chunk(2048 + 16);
  Bytes area(4096);
  std::uint8_t digest[32];
  for (auto _ : state) {
    EVP_DecryptInit_ex(cipher.get(), EVP_aes_256_cbc(), nullptr, key, iv);
    EVP_CIPHER_CTX_set_padding(cipher.get(), 0);
    EVP_DigestInit_ex(md.get(), EVP_sha256(), nullptr);
    const std::size_t whole = body.size() / 16 * 16;
    for (std::size_t at = 0; at < whole; at += 2048) {
      const int n = static_cast<int>(std::min<std::size_t>(2048, whole - at));
      int out = 0;
      EVP_DecryptUpdate(cipher.get(), chunk.data(), &out, body.data() + at, n);
      if (compression == 0) EVP_DigestUpdate(md.get(), chunk.data(), static_cast<std::size_t>(out));
    }
    for (const Bytes& stream : streams) {
      z_stream zs{};
      inflateInit(&zs);
      for (std::size_t at = 0; at < stream.size(); at += 2048) {
        zs.next_in = const_cast<Bytef*>(stream.data() + at);
        zs.avail_in = static_cast<uInt>(std::min<std::size_t>(2048, stream.size() - at));
        do {
          zs.next_out = area.data();
          zs.avail_out = static_cast<uInt>(area.size());
          if (inflate(&zs, Z_SYNC_FLUSH) < 0 && zs.avail_out == area.size()) break;
          EVP_DigestUpdate(md.get(), area.data(), area.size() - zs.avail_out);
        } while (zs.avail_out == 0);
      }
      inflateEnd(&zs);
    }
    EVP_DigestFinal_ex(md.get(), digest, nullptr);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kContentSize);
  state.SetLabel(compression == 0 ? "stored" : "compressed");
}

// Wall time: the decoder hashes long parts on a helper thread.
BENCHMARK(BM_DecodeDocument)->Args({0, 0})->Args({0, 1})->Args({1, 0})->Args({1, 1})->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Baseline)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
