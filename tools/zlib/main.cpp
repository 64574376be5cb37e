// vpzlib deflate LEVEL IN OUT: writes IN as one zlib stream, made the way the
//   encoder makes a compressed part (windowBits 15, memLevel 8, default
//   strategy), so OUT is that part's stream.
// vpzlib inflate IN: inflates the zlib stream IN with zlib alone into a
//   128 KiB area that is thrown away, and prints the inflated byte count.
// Exit status: 0 success, 1 failure, 2 usage error.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <zlib.h>

namespace {

constexpr std::size_t kPiece = 128 * 1024;

int Usage() {
  std::fprintf(stderr, "usage: vpzlib deflate LEVEL IN OUT | vpzlib inflate IN\n");
  return 2;
}

int Fail(const std::string& why) {
  std::fprintf(stderr, "vpzlib: %s\n", why.c_str());
  return 1;
}

int Deflate(int level, const char* inPath, const char* outPath) {
  std::FILE* in = std::fopen(inPath, "rb");
  if (in == nullptr) return Fail(std::string("cannot read ") + inPath);
  std::FILE* out = std::fopen(outPath, "wb");
  if (out == nullptr) {
    std::fclose(in);
    return Fail(std::string("cannot write ") + outPath);
  }
  z_stream zs{};
  if (deflateInit2(&zs, level, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return Fail("bad level");
  std::vector<unsigned char> source(kPiece), area(kPiece);
  bool ok = true;
  for (int flush = Z_NO_FLUSH; flush != Z_FINISH && ok;) {
    const std::size_t n = std::fread(source.data(), 1, source.size(), in);
    flush = n < source.size() ? Z_FINISH : Z_NO_FLUSH;
    zs.next_in = source.data();
    zs.avail_in = static_cast<uInt>(n);
    int rc = Z_OK;
    do {
      zs.next_out = area.data();
      zs.avail_out = static_cast<uInt>(area.size());
      rc = deflate(&zs, flush);
      const std::size_t have = area.size() - zs.avail_out;
      ok = ok && std::fwrite(area.data(), 1, have, out) == have;
    } while (ok && (zs.avail_out == 0 || (flush == Z_FINISH && rc != Z_STREAM_END)));
  }
  deflateEnd(&zs);
  ok = ok && !std::ferror(in);
  std::fclose(in);
  ok = std::fclose(out) == 0 && ok;
  return ok ? 0 : Fail("deflate failed");
}

int Inflate(const char* inPath) {
  std::FILE* in = std::fopen(inPath, "rb");
  if (in == nullptr) return Fail(std::string("cannot read ") + inPath);
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) return Fail("inflate cannot start");
  std::vector<unsigned char> source(kPiece), area(kPiece);
  unsigned long long total = 0;
  int rc = Z_OK;
  while (rc != Z_STREAM_END) {
    const std::size_t n = std::fread(source.data(), 1, source.size(), in);
    if (n == 0) break;
    zs.next_in = source.data();
    zs.avail_in = static_cast<uInt>(n);
    do {
      zs.next_out = area.data();
      zs.avail_out = static_cast<uInt>(area.size());
      rc = inflate(&zs, Z_NO_FLUSH);
      total += area.size() - zs.avail_out;
    } while (rc == Z_OK && zs.avail_out == 0);
    if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) break;
  }
  inflateEnd(&zs);
  std::fclose(in);
  if (rc != Z_STREAM_END) return Fail("not a whole zlib stream");
  std::printf("%llu\n", total);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "deflate") == 0) {
    char* end = nullptr;
    const long level = std::strtol(argv[2], &end, 10);
    if (*end != '\0' || level < 0 || level > 9) return Usage();
    return Deflate(static_cast<int>(level), argv[3], argv[4]);
  }
  if (argc == 3 && std::strcmp(argv[1], "inflate") == 0) return Inflate(argv[2]);
  return Usage();
}
