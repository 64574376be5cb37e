// vpstreamcheck [--size MIB] [--parts N] [--keep PATH]
// vpstreamcheck --bomb GIB
// vpstreamcheck --tag-bomb
//
// Writes a document of MIB mebibytes of content (default 512), in N parts
// (default 4) that alternate between stored and compressed, streaming it to
// a temporary file, then decodes that file through a FileReader into a
// writer that only counts. Prints the bytes decoded, the time taken and the
// peak resident memory of the decoding process. Encoding runs in a child
// process so that its memory does not show in the decoder's peak; the
// decoder's peak should not depend on the size of the document.
//
// --bomb writes instead one compressed part of GIB gibibytes of zeros (a
// file of about a thousandth of that), the most a document's bytes can
// inflate to; --tag-bomb a tag trailer of at most 51,200 bytes whose tag
// list inflates to the 8 MiB the inspection accepts, and inspects it. Both
// show what such a document costs in memory.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <zlib.h>

#include <vector>

#include "codec/counting_decode_writer.h"
#include "codec/decode_result.h"
#include "codec/document_decoder.h"
#include "codec/file_reader.h"
#include "codec/inspect_document.h"
#include "codec/vp_decode_writer.h"
#include "tools/encoder/document_encoder.h"

namespace {


long PeakKiB(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return usage.ru_maxrss;  // KiB on Linux
}

int Usage() {
  std::fprintf(stderr, "usage: vpstreamcheck [--size MIB] [--parts N] [--keep PATH] | --bomb GIB | --tag-bomb\n");
  return 2;
}

// One zlib stream of `total` zero bytes, deflated piece by piece.
std::vector<std::uint8_t> DeflatedZeros(std::uint64_t total) {
  z_stream zs{};
  deflateInit(&zs, 9);
  std::vector<std::uint8_t> zeros(1 << 20, 0), out, area(1 << 16);
  int rc = Z_OK;
  while (rc != Z_STREAM_END) {
    const std::uint64_t piece = total < zeros.size() ? total : zeros.size();
    zs.next_in = zeros.data();
    zs.avail_in = static_cast<uInt>(piece);
    total -= piece;
    do {
      zs.next_out = area.data();
      zs.avail_out = static_cast<uInt>(area.size());
      rc = deflate(&zs, total == 0 ? Z_FINISH : Z_NO_FLUSH);
      out.insert(out.end(), area.data(), area.data() + (area.size() - zs.avail_out));
    } while (zs.avail_out == 0 || (total == 0 && rc != Z_STREAM_END));
  }
  deflateEnd(&zs);
  return out;
}

// A tag list of exactly `size` bytes: one binary tag of zeros and the end word.
std::vector<std::uint8_t> ZeroTagList(std::uint32_t size) {
  std::vector<std::uint8_t> list(size, 0);
  list[2] = 1;  // binary, key of 4 bytes
  list[3] = 4;
  std::memcpy(&list[4], "Bomb", 4);
  const std::uint32_t value = size - 16;
  for (int i = 0; i < 4; ++i) list[8 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
  return list;
}

}  // namespace

int main(int argc, char** argv) {
  std::uint64_t mib = 512;
  std::uint32_t partCount = 4;
  std::string keep;
  std::uint64_t bombGib = 0;
  bool tagBomb = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--bomb" && i + 1 < argc) {
      bombGib = std::strtoull(argv[++i], nullptr, 10);
      if (bombGib == 0) return Usage();
    } else if (arg == "--tag-bomb") {
      tagBomb = true;
    } else if (arg == "--size" && i + 1 < argc) {
      mib = std::strtoull(argv[++i], nullptr, 10);
    } else if (arg == "--parts" && i + 1 < argc) {
      partCount = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    } else if (arg == "--keep" && i + 1 < argc) {
      keep = argv[++i];
    } else {
      return Usage();
    }
  }
  if (mib == 0 || partCount == 0) return Usage();
  const std::uint64_t total = bombGib != 0 ? bombGib << 30 : tagBomb ? 0 : mib << 20;
  const std::uint64_t perPart = total / partCount;
  if (perPart > 0xFFFFFFFFull && bombGib == 0) {
    std::fprintf(stderr, "vpstreamcheck: parts above 4 GiB do not fit the format; use more parts\n");
    return 2;
  }

  encoder::DocumentSpec layout;
  layout.userName = "stream";
  layout.password = "check";
  for (std::size_t i = 0; i < layout.salt.size(); ++i) layout.salt[i] = static_cast<std::uint8_t>(i * 7 + 1);
  if (bombGib != 0 || tagBomb) partCount = 0;  // the parts are made in the child
  for (std::uint32_t i = 0; i < partCount; ++i) {
    encoder::PartSpec part;
    part.name = "part" + std::to_string(i) + ".bin";
    part.generatedLength = i + 1 == partCount ? total - perPart * (partCount - 1) : perPart;
    part.generatorSeed = i + 1;
    part.compression = static_cast<std::uint16_t>(i % 2);
    part.zlibLevel = 1;
    layout.parts.push_back(part);
  }

  std::string path = keep;
  if (path.empty()) {
    char name[] = "/tmp/vpstreamcheck-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) {
      std::perror("vpstreamcheck: mkstemp");
      return 1;
    }
    close(fd);
    path = name;
  }

  const auto encodeStart = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child < 0) {
    std::perror("vpstreamcheck: fork");
    return 1;
  }
  if (child == 0) {
    if (bombGib != 0) {
      // No body digest: the content is only ever produced by inflating.
      encoder::PartSpec part;
      part.name = "zeros.bin";
      part.compression = 1;
      part.storedData = DeflatedZeros(total);
      layout.bodyDigestId = 0;
      layout.parts = {part};
    } else if (tagBomb) {
      layout.rawTagList = ZeroTagList(codec::MaxTagListSize);
    }
    std::string error;
    const bool ok = encoder::EncodeDocumentToFile(layout, path, &error);
    if (!ok) std::fprintf(stderr, "vpstreamcheck: encoding failed: %s\n", error.c_str());
    std::_Exit(ok ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  const double encodeSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - encodeStart).count();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    if (keep.empty()) std::remove(path.c_str());
    return 1;
  }

  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    std::perror("vpstreamcheck: open");
    return 1;
  }
  std::fseek(file, 0, SEEK_END);
  const long fileSize = std::ftell(file);
  std::rewind(file);

  const long peakBefore = PeakKiB(RUSAGE_SELF);
  if (tagBomb) {
    codec::DocumentHeader header;
    codec::DocumentTagTable tags;
    const auto start = std::chrono::steady_clock::now();
    const codec::DecodeResult inspected = codec::InspectDocument(file, header, true, &tags);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const codec::DocumentTag* bomb = tags.FindTag("Bomb");
    std::fclose(file);
    if (keep.empty()) std::remove(path.c_str());
    std::printf("document:        a trailer of %ld bytes whose tag list inflates to %u bytes\n", fileSize - 62,
                codec::MaxTagListSize);
    std::printf("result:          %d, tag value of %u bytes, in %.2f s\n", codec::ResultCode(inspected),
                bomb != nullptr ? bomb->valueLength : 0, seconds);
    std::printf("peak RSS:        %ld KiB (before inspecting %ld KiB)\n", PeakKiB(RUSAGE_SELF), peakBefore);
    return inspected == codec::DecodeResult::Ok && bomb != nullptr ? 0 : 1;
  }
  codec::CountingDecodeWriter writer;
  const auto start = std::chrono::steady_clock::now();
  codec::DecodeResult result;
  {
    codec::FileReader reader(file);
    codec::DocumentDecoder decoder(reader, writer);
    result = decoder.DecodeDocument(layout.userName.c_str(), layout.password.c_str(), false);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::fclose(file);
  if (keep.empty()) std::remove(path.c_str());

  std::printf("document:        %llu MiB of content in %u parts, file %ld bytes (encoded in %.1f s)\n",
              static_cast<unsigned long long>(total >> 20), bombGib != 0 ? 1 : partCount, fileSize, encodeSeconds);
  std::printf("result:          %d\n", codec::ResultCode(result));
  std::printf("bytes decoded:   %llu in %u parts\n", static_cast<unsigned long long>(writer.bytes), writer.parts);
  std::printf("decode time:     %.2f s (%.1f MB/s of content)\n", seconds,
              seconds > 0 ? static_cast<double>(writer.bytes) / 1e6 / seconds : 0.0);
  std::printf("peak RSS:        %ld KiB (before decoding %ld KiB; encoder child %ld KiB)\n",
              PeakKiB(RUSAGE_SELF), peakBefore, PeakKiB(RUSAGE_CHILDREN));
  return result == codec::DecodeResult::Ok && writer.bytes == total ? 0 : 1;
}
