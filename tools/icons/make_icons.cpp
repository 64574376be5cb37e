// vpmakeicons [--preview SHEET.png] [--hicolor DIR] OUTDIR
//
// Draws the Windows module's two icons and writes them as icon files:
//   OUTDIR/document.ico  resource 141, the reader's icon, shown for documents
//   OUTDIR/program.ico   resource 146, the program icon of the About box and
//                        of the list of installed programs
// and the side picture of the setup program's welcome and finish pages:
//   OUTDIR/setup.bmp     164 x 314 pixels, 24-bit: the program icon on its blue
// --hicolor also writes both icons for the Linux desktop's icon theme, as
// DIR/<n>x<n>/apps/orlenta-reader.png (the program) and
// DIR/<n>x<n>/mimetypes/application-x-orlenta-document.png (the document
// type) for n = 16, 24, 32, 48, 64, 128 and 256, and the same two drawings as
// SVG under DIR/scalable.
// Both icons show a page with a folded corner and text lines, and a padlock over its
// lower right; the document icon's lock is amber, the program icon's is blue.
// Each file holds 256, 48, 32, 24 and 16 pixel images at 32 bits per pixel:
// the 256 pixel image as PNG, the others as bitmaps with an AND mask.
// --preview also writes a sheet with every image, enlarged, for review.
//
// It runs on the build machine while the module is built, also in a cross
// build (see resources/README.md), so it needs nothing but the C++ library,
// zlib and the codec's self-contained icon file writer. Exit status: 0 success, 1 a file could not be written, 2 usage.

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "codec/icon_file_writer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// ---------------------------------------------------------------------------
// Geometry: signed distances in pixels, negative inside. Pixel (i, j) covers
// [i, i + 1) x [j, j + 1), so an edge on an integer coordinate is crisp.

struct Point {
  double x, y;
};

struct Box {
  double x0, y0, x1, y1;
};

double Length(double x, double y) { return std::sqrt(x * x + y * y); }

double RoundedBox(Point p, const Box& b, double radius) {
  const double qx = std::abs(p.x - (b.x0 + b.x1) / 2) - ((b.x1 - b.x0) / 2 - radius);
  const double qy = std::abs(p.y - (b.y0 + b.y1) / 2) - ((b.y1 - b.y0) / 2 - radius);
  return Length(std::max(qx, 0.0), std::max(qy, 0.0)) + std::min(std::max(qx, qy), 0.0) - radius;
}

// ---------------------------------------------------------------------------
// Colours and the canvas (premultiplied RGBA, 0..1).

struct Colour {
  double r, g, b, a;
};

constexpr Colour Rgb(std::uint32_t rgb, double alpha = 1.0) {
  return {((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0, alpha};
}

Colour Mix(const Colour& a, const Colour& b, double t) {
  t = std::clamp(t, 0.0, 1.0);
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

class Canvas {
 public:
  explicit Canvas(int size) : size_(size), pixels_(static_cast<std::size_t>(size) * size) {}

  int Size() const { return size_; }

  // Composites `colour(p)` over the canvas where `distance(p)` < 0, with the
  // edge spread over `softness` pixels (1 gives a one-pixel anti-aliased edge).
  template <typename Distance, typename Paint>
  void Fill(Distance distance, Paint colour, double softness = 1.0) {
    for (int y = 0; y < size_; ++y) {
      for (int x = 0; x < size_; ++x) {
        const Point p{x + 0.5, y + 0.5};
        const double coverage = std::clamp(0.5 - distance(p) / softness, 0.0, 1.0);
        if (coverage <= 0) continue;
        const Colour c = colour(p);
        const double a = c.a * coverage;
        std::array<double, 4>& d = pixels_[Index(x, y)];
        d = {c.r * a + d[0] * (1 - a), c.g * a + d[1] * (1 - a), c.b * a + d[2] * (1 - a), a + d[3] * (1 - a)};
      }
    }
  }

  // Makes the canvas transparent where `distance(p)` < 0.
  template <typename Distance>
  void Erase(Distance distance) {
    for (int y = 0; y < size_; ++y) {
      for (int x = 0; x < size_; ++x) {
        const double keep = 1 - std::clamp(0.5 - distance(Point{x + 0.5, y + 0.5}), 0.0, 1.0);
        for (double& channel : pixels_[Index(x, y)]) channel *= keep;
      }
    }
  }

  // Straight (not premultiplied) 8-bit red, green, blue, alpha of pixel x, y.
  std::array<std::uint8_t, 4> Rgba(int x, int y) const {
    const std::array<double, 4>& p = pixels_[Index(x, y)];
    const auto byte = [](double v) { return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
    const std::uint8_t alpha = byte(p[3]);
    if (alpha == 0) return {0, 0, 0, 0};
    return {byte(p[0] / p[3]), byte(p[1] / p[3]), byte(p[2] / p[3]), alpha};
  }

 private:
  std::size_t Index(int x, int y) const { return static_cast<std::size_t>(y) * size_ + x; }

  int size_;
  std::vector<std::array<double, 4>> pixels_;
};

// ---------------------------------------------------------------------------
// The artwork. Every size has its own layout in pixels: the large ones follow
// one design, the small ones put edges and strokes on whole pixels and drop
// detail so that they stay crisp.

struct TextLine {
  double y, x0, x1;  // top edge and horizontal extent
};

struct Layout {
  int size;
  // The page: outline, corner radius, size of the folded corner, outline width.
  Box page;
  double pageRadius, fold, outline;
  // Text lines: thickness, end radius, and where they run.
  double lineHeight, lineRadius;
  std::vector<TextLine> lines;
  // The lock's body, and the centre line of its shackle (the lower part of
  // which the body hides).
  Box body;
  double bodyRadius, bodyOutline;
  Box shackle;
  double shackleRadius, shackleWidth, shackleOutline;
  // Keyhole: a round head (empty at the small sizes) over a slot.
  Box keyHead;
  double keyHeadRadius;
  Box keySlot;
  double gap;     // clear margin cut around the lock
  double shadow;  // drop shadow offset; 0 for none
};

// clang-format off
const std::vector<Layout>& Layouts() {
  static const std::vector<Layout> layouts = {
      {.size = 256,
       .page = {28, 10, 176, 246}, .pageRadius = 10, .fold = 54, .outline = 6,
       .lineHeight = 12, .lineRadius = 6,
       .lines = {{44, 54, 120}, {76, 54, 150}, {104, 54, 150}, {132, 54, 150}, {160, 54, 110}, {188, 54, 96},
                 {216, 54, 80}},
       .body = {108, 138, 232, 242}, .bodyRadius = 16, .bodyOutline = 6,
       .shackle = {134, 82, 206, 190}, .shackleRadius = 36, .shackleWidth = 22, .shackleOutline = 5,
       .keyHead = {157, 167, 183, 193}, .keyHeadRadius = 13, .keySlot = {164.5, 180, 175.5, 214},
       .gap = 8, .shadow = 5},
      {.size = 48,
       .page = {5, 2, 33, 46}, .pageRadius = 2, .fold = 10, .outline = 1,
       .lineHeight = 2, .lineRadius = 1,
       .lines = {{9, 10, 22}, {15, 10, 28}, {20, 10, 28}, {25, 10, 28}, {30, 10, 19}, {35, 10, 17}, {40, 10, 14}},
       .body = {20, 26, 44, 46}, .bodyRadius = 3, .bodyOutline = 1,
       .shackle = {25, 17, 39, 34}, .shackleRadius = 7, .shackleWidth = 4, .shackleOutline = 1,
       .keyHead = {30, 30, 34, 34}, .keyHeadRadius = 2, .keySlot = {31, 33, 33, 40},
       .gap = 1.5, .shadow = 0},
      {.size = 32,
       .page = {3, 1, 22, 31}, .pageRadius = 1, .fold = 7, .outline = 1,
       .lineHeight = 1, .lineRadius = 0,
       .lines = {{6, 6, 13}, {10, 6, 19}, {13, 6, 19}, {16, 6, 19}, {19, 6, 12}, {22, 6, 12}, {25, 6, 10}},
       .body = {13, 18, 30, 31}, .bodyRadius = 2, .bodyOutline = 1,
       .shackle = {17.5, 11.5, 25.5, 24}, .shackleRadius = 4, .shackleWidth = 3, .shackleOutline = 0,
       .keyHead = {20, 21, 23, 24}, .keyHeadRadius = 0.8, .keySlot = {21, 23, 22, 27},
       .gap = 1, .shadow = 0},
      {.size = 24,
       .page = {2, 1, 17, 23}, .pageRadius = 1, .fold = 6, .outline = 1,
       .lineHeight = 1, .lineRadius = 0,
       .lines = {{5, 5, 10}, {8, 5, 14}, {11, 5, 14}, {14, 5, 9}, {17, 5, 9}},
       .body = {10, 13, 22, 23}, .bodyRadius = 1.5, .bodyOutline = 1,
       .shackle = {13, 9, 19, 18}, .shackleRadius = 3, .shackleWidth = 2, .shackleOutline = 0,
       .keyHead = {}, .keyHeadRadius = 0, .keySlot = {15, 16, 17, 20},
       .gap = 1, .shadow = 0},
      {.size = 16,
       .page = {1, 0, 11, 16}, .pageRadius = 0, .fold = 4, .outline = 1,
       .lineHeight = 1, .lineRadius = 0,
       .lines = {{3, 3, 7}, {6, 3, 9}, {9, 3, 6}, {12, 3, 6}},
       .body = {6, 9, 15, 16}, .bodyRadius = 1, .bodyOutline = 1,
       .shackle = {8.5, 5.5, 12.5, 12}, .shackleRadius = 2, .shackleWidth = 1, .shackleOutline = 0,
       .keyHead = {}, .keyHeadRadius = 0, .keySlot = {10, 12, 11, 14},
       .gap = 0, .shadow = 0},
  };
  return layouts;
}
// clang-format on

// The large design at another size (the theme's 64 and 128 pixels).
Layout Scaled(const Layout& l, int size) {
  const double k = size / static_cast<double>(l.size);
  const auto box = [k](const Box& b) { return Box{b.x0 * k, b.y0 * k, b.x1 * k, b.y1 * k}; };
  Layout s = l;
  s.size = size;
  s.page = box(l.page), s.body = box(l.body), s.shackle = box(l.shackle);
  s.keyHead = box(l.keyHead), s.keySlot = box(l.keySlot);
  for (double* v : {&s.pageRadius, &s.fold, &s.outline, &s.lineHeight, &s.lineRadius, &s.bodyRadius, &s.bodyOutline,
                    &s.shackleRadius, &s.shackleWidth, &s.shackleOutline, &s.keyHeadRadius, &s.gap, &s.shadow}) {
    *v *= k;
  }
  for (TextLine& line : s.lines) line = {line.y * k, line.x0 * k, line.x1 * k};
  return s;
}

struct Palette {
  Colour lockTop, lockBottom, lockOutline, keyhole;
};

const Palette kDocumentPalette{Rgb(0xFFC94A), Rgb(0xE69A12), Rgb(0x8A5500), Rgb(0x5A3300)};
const Palette kProgramPalette{Rgb(0x5AA2F0), Rgb(0x2A6CC8), Rgb(0x153E7A), Rgb(0x0C2550)};

const Colour kPageOutline = Rgb(0x5E6C80);
const Colour kPageTop = Rgb(0xFFFFFF);
const Colour kPageBottom = Rgb(0xE6ECF3);
const Colour kFold = Rgb(0xC8D3E1);
const Colour kText = Rgb(0x9FADBF);
const Colour kShackleLight = Rgb(0xB4BEC9);
const Colour kShackleDark = Rgb(0x6A7684);
const Colour kShackleOutline = Rgb(0x404B58);
const Colour kShadow = Rgb(0x1A2433, 0.30);

// Vertical gradient from `top` at y0 to `bottom` at y1.
auto Gradient(Colour top, Colour bottom, double y0, double y1) {
  return [=](Point p) { return Mix(top, bottom, (p.y - y0) / (y1 - y0)); };
}

auto Solid(Colour c) {
  return [=](Point) { return c; };
}

Canvas Draw(const Layout& l, const Palette& palette) {
  Canvas canvas(l.size);
  const Box& pg = l.page;
  // The page without its folded-down corner: the corner is cut by the line
  // through (x1 - fold, y0) and (x1, y0 + fold).
  const auto cut = [&](Point p) { return ((p.x - p.y) - (pg.x1 - l.fold - pg.y0)) / std::sqrt(2.0); };
  const auto page = [&](Point p) { return std::max(RoundedBox(p, pg, l.pageRadius), cut(p)); };
  const auto flap = [&](Point p) { return std::max({pg.x1 - l.fold - p.x, p.y - (pg.y0 + l.fold), cut(p)}); };
  const auto shackle = [&](Point p) {
    return std::abs(RoundedBox(p, l.shackle, l.shackleRadius)) - l.shackleWidth / 2;
  };
  const auto body = [&](Point p) { return RoundedBox(p, l.body, l.bodyRadius); };
  // The lock's outline, the opening of the shackle included.
  const auto lock = [&](Point p) {
    return std::min(body(p), RoundedBox(p, l.shackle, l.shackleRadius) - l.shackleWidth / 2);
  };

  if (l.shadow > 0) {
    const double s = l.shadow;
    canvas.Fill(
        [&](Point p) {
          return std::min(page({p.x - s / 2, p.y - s}), lock({p.x - s / 2, p.y - s})) + s;
        },
        Solid(kShadow), 2.5 * s);
  }

  canvas.Fill(page, Solid(kPageOutline));
  canvas.Fill([&](Point p) { return page(p) + l.outline; }, Gradient(kPageTop, kPageBottom, pg.y0, pg.y1));
  for (const TextLine& line : l.lines) {
    canvas.Fill(
        [&](Point p) {
          return RoundedBox(p, {line.x0, line.y, line.x1, line.y + l.lineHeight}, l.lineRadius);
        },
        Solid(kText));
  }
  canvas.Fill(flap, Solid(kPageOutline));
  canvas.Fill([&](Point p) { return flap(p) + l.outline; }, Solid(kFold));

  // The lock, with a clear margin cut into the page around it.
  if (l.gap > 0) canvas.Erase([&](Point p) { return lock(p) - l.gap; });
  if (l.shackleOutline > 0) {
    canvas.Fill(shackle, Solid(kShackleOutline));
    canvas.Fill([&](Point p) { return shackle(p) + l.shackleOutline; },
                Gradient(kShackleLight, kShackleDark, l.shackle.y0, l.body.y0));
  } else {
    canvas.Fill(shackle, Solid(kShackleDark));
  }
  canvas.Fill(body, Solid(palette.lockOutline));
  canvas.Fill([&](Point p) { return body(p) + l.bodyOutline; },
              Gradient(palette.lockTop, palette.lockBottom, l.body.y0, l.body.y1));
  canvas.Fill(
      [&](Point p) {
        const double slot = RoundedBox(p, l.keySlot, 0);
        return l.keyHead.x1 > l.keyHead.x0 ? std::min(RoundedBox(p, l.keyHead, l.keyHeadRadius), slot) : slot;
      },
      Solid(palette.keyhole));
  return canvas;
}

// ---------------------------------------------------------------------------
// Encoders.

void Put16(Bytes& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(Bytes& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

void PutBig32(Bytes& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void PutChunk(Bytes& out, const char type[4], const Bytes& data) {
  PutBig32(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  PutBig32(out, static_cast<std::uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
}

// An 8-bit RGBA PNG of `width` x `height` pixels (rgba: rows top-down).
// Empty when zlib fails.
Bytes EncodePng(int width, int height, const Bytes& rgba) {
  Bytes raw;
  const std::size_t stride = static_cast<std::size_t>(width) * 4;
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);  // filter: none
    raw.insert(raw.end(), rgba.begin() + y * stride, rgba.begin() + (y + 1) * stride);
  }
  uLongf packedLength = compressBound(static_cast<uLong>(raw.size()));
  Bytes packed(packedLength);
  if (compress2(packed.data(), &packedLength, raw.data(), static_cast<uLong>(raw.size()), Z_BEST_COMPRESSION) != Z_OK) {
    return {};
  }
  packed.resize(packedLength);

  Bytes out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  Bytes header;
  PutBig32(header, static_cast<std::uint32_t>(width));
  PutBig32(header, static_cast<std::uint32_t>(height));
  header.insert(header.end(), {8, 6, 0, 0, 0});  // depth 8, RGBA, deflate, no filter set, not interlaced
  PutChunk(out, "IHDR", header);
  PutChunk(out, "IDAT", packed);
  PutChunk(out, "IEND", {});
  return out;
}

Bytes CanvasRgba(const Canvas& canvas) {
  Bytes rgba;
  for (int y = 0; y < canvas.Size(); ++y) {
    for (int x = 0; x < canvas.Size(); ++x) {
      const auto p = canvas.Rgba(x, y);
      rgba.insert(rgba.end(), p.begin(), p.end());
    }
  }
  return rgba;
}

// The setup's side picture: the program palette's blue, darkening downwards,
// with the 256 pixel program icon at half size near the top. A Windows bitmap
// file: 24 bits a pixel, rows bottom-up, each padded to 32 bits.
Bytes SetupSidePicture(const Canvas& icon, const Palette& palette) {
  constexpr int kWidth = 164, kHeight = 314, kIcon = 128, kTop = 56;
  constexpr int kLeft = (kWidth - kIcon) / 2;
  const std::uint32_t stride = (kWidth * 3 + 3) & ~3u;
  const std::uint32_t pixels = stride * kHeight;
  Bytes out = {'B', 'M'};
  Put32(out, 14 + 40 + pixels);
  Put32(out, 0);        // reserved
  Put32(out, 14 + 40);  // where the rows start
  Put32(out, 40);
  Put32(out, kWidth);
  Put32(out, kHeight);
  Put16(out, 1);   // planes
  Put16(out, 24);  // bits per pixel
  Put32(out, 0);   // uncompressed
  Put32(out, pixels);
  for (int i = 0; i < 4; ++i) Put32(out, 0);  // resolution and palette: unused
  const int scale = icon.Size() / kIcon;
  for (int y = kHeight - 1; y >= 0; --y) {
    Bytes row;
    for (int x = 0; x < kWidth; ++x) {
      Colour c = Mix(palette.lockBottom, palette.keyhole, static_cast<double>(y) / (kHeight - 1));
      const int ix = x - kLeft, iy = y - kTop;
      if (ix >= 0 && iy >= 0 && ix < kIcon && iy < kIcon) {
        // The mean of the icon's scale x scale pixels, premultiplied.
        std::array<double, 4> sum{};
        for (int dy = 0; dy < scale; ++dy) {
          for (int dx = 0; dx < scale; ++dx) {
            const auto p = icon.Rgba(ix * scale + dx, iy * scale + dy);
            const double a = p[3] / 255.0;
            for (int i = 0; i < 3; ++i) sum[i] += p[i] / 255.0 * a;
            sum[3] += a;
          }
        }
        const double n = scale * scale, a = sum[3] / n;
        c = {sum[0] / n + c.r * (1 - a), sum[1] / n + c.g * (1 - a), sum[2] / n + c.b * (1 - a), 1};
      }
      const auto byte = [](double v) { return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
      row.insert(row.end(), {byte(c.b), byte(c.g), byte(c.r)});
    }
    row.resize(stride, 0);
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

// ---------------------------------------------------------------------------
// The large design as SVG, shape for shape: the page (its outline drawn as a
// stroke inside the edge), text lines, the folded corner, a mask that clears
// the margin around the lock, the shackle, the body and the keyhole.

std::string Hex(const Colour& c) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", static_cast<int>(std::lround(c.r * 255)),
                static_cast<int>(std::lround(c.g * 255)), static_cast<int>(std::lround(c.b * 255)));
  return text;
}

std::string Rect(const Box& b, double radius, double inset, const std::string& paint) {
  char text[256];
  std::snprintf(text, sizeof text, "<rect x=\"%g\" y=\"%g\" width=\"%g\" height=\"%g\" rx=\"%g\" %s/>\n",
                b.x0 + inset, b.y0 + inset, b.x1 - b.x0 - 2 * inset, b.y1 - b.y0 - 2 * inset,
                std::max(0.0, radius - inset), paint.c_str());
  return text;
}

std::string GradientDef(const char* id, Colour top, Colour bottom, double y0, double y1) {
  char text[256];
  std::snprintf(text, sizeof text,
                "<linearGradient id=\"%s\" gradientUnits=\"userSpaceOnUse\" x1=\"0\" y1=\"%g\" x2=\"0\" y2=\"%g\">"
                "<stop offset=\"0\" stop-color=\"%s\"/><stop offset=\"1\" stop-color=\"%s\"/></linearGradient>\n",
                id, y0, y1, Hex(top).c_str(), Hex(bottom).c_str());
  return text;
}

std::string Svg(const Layout& l, const Palette& palette) {
  const Box& pg = l.page;
  const double o = l.outline / 2;  // the outline's stroke runs half its width inside the edge
  char path[512];
  std::snprintf(path, sizeof path,
                "M%g %gL%g %gL%g %gL%g %gA%g %g 0 0 1 %g %gL%g %gA%g %g 0 0 1 %g %gL%g %gA%g %g 0 0 1 %g %gZ",
                pg.x0 + l.pageRadius, pg.y0 + o, pg.x1 - l.fold - o * 0.41, pg.y0 + o, pg.x1 - o, pg.y0 + l.fold + o * 0.41,
                pg.x1 - o, pg.y1 - l.pageRadius, l.pageRadius - o, l.pageRadius - o, pg.x1 - l.pageRadius, pg.y1 - o,
                pg.x0 + l.pageRadius, pg.y1 - o, l.pageRadius - o, l.pageRadius - o, pg.x0 + o, pg.y1 - l.pageRadius,
                pg.x0 + o, pg.y0 + l.pageRadius, l.pageRadius - o, l.pageRadius - o, pg.x0 + l.pageRadius, pg.y0 + o);
  char flap[256];
  std::snprintf(flap, sizeof flap, "M%g %gL%g %gL%g %gZ", pg.x1 - l.fold + o, pg.y0 + o * 2.4, pg.x1 - l.fold + o,
                pg.y0 + l.fold - o, pg.x1 - o * 2.4, pg.y0 + l.fold - o);
  char text[512];
  std::string svg;
  std::snprintf(text, sizeof text,
                "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" viewBox=\"0 0 %d %d\">\n<defs>\n",
                l.size, l.size, l.size, l.size);
  svg += text;
  svg += GradientDef("page", kPageTop, kPageBottom, pg.y0, pg.y1);
  svg += GradientDef("shackle", kShackleLight, kShackleDark, l.shackle.y0, l.body.y0);
  svg += GradientDef("lock", palette.lockTop, palette.lockBottom, l.body.y0, l.body.y1);
  // The margin around the lock: the body and the shackle with its opening, grown by the gap.
  svg += "<mask id=\"margin\" maskUnits=\"userSpaceOnUse\" x=\"0\" y=\"0\" width=\"" + std::to_string(l.size) +
         "\" height=\"" + std::to_string(l.size) + "\">\n";
  svg += Rect({0, 0, static_cast<double>(l.size), static_cast<double>(l.size)}, 0, 0, "fill=\"#fff\"");
  svg += Rect(l.body, l.bodyRadius, -l.gap, "fill=\"#000\"");
  svg += Rect(l.shackle, l.shackleRadius, -(l.shackleWidth / 2 + l.gap), "fill=\"#000\"");
  svg += "</mask>\n</defs>\n<g mask=\"url(#margin)\">\n";
  svg += std::string("<path d=\"") + path + "\" fill=\"url(#page)\" stroke=\"" + Hex(kPageOutline) +
         "\" stroke-width=\"" + std::to_string(l.outline) + "\" stroke-linejoin=\"round\"/>\n";
  for (const TextLine& line : l.lines) {
    svg += Rect({line.x0, line.y, line.x1, line.y + l.lineHeight}, l.lineRadius, 0, "fill=\"" + Hex(kText) + "\"");
  }
  svg += std::string("<path d=\"") + flap + "\" fill=\"" + Hex(kFold) + "\" stroke=\"" + Hex(kPageOutline) +
         "\" stroke-width=\"" + std::to_string(l.outline) + "\" stroke-linejoin=\"round\"/>\n</g>\n";
  svg += Rect(l.shackle, l.shackleRadius, 0,
              "fill=\"none\" stroke=\"" + Hex(kShackleOutline) + "\" stroke-width=\"" + std::to_string(l.shackleWidth) + "\"");
  svg += Rect(l.shackle, l.shackleRadius, 0,
              "fill=\"none\" stroke=\"url(#shackle)\" stroke-width=\"" +
                  std::to_string(l.shackleWidth - 2 * l.shackleOutline) + "\"");
  svg += Rect(l.body, l.bodyRadius, l.bodyOutline / 2,
              "fill=\"url(#lock)\" stroke=\"" + Hex(palette.lockOutline) + "\" stroke-width=\"" +
                  std::to_string(l.bodyOutline) + "\"");
  std::snprintf(text, sizeof text, "<circle cx=\"%g\" cy=\"%g\" r=\"%g\" fill=\"%s\"/>\n",
                (l.keyHead.x0 + l.keyHead.x1) / 2, (l.keyHead.y0 + l.keyHead.y1) / 2, l.keyHeadRadius,
                Hex(palette.keyhole).c_str());
  svg += text;
  svg += Rect(l.keySlot, 0, 0, "fill=\"" + Hex(palette.keyhole) + "\"");
  svg += "</svg>\n";
  return svg;
}

// ---------------------------------------------------------------------------
// Review sheet: one row per icon, every size enlarged by whole pixels over a
// checkerboard, and each at its real size on a light and a dark strip.

Bytes PreviewSheet(const std::vector<std::vector<Canvas>>& icons) {
  constexpr int kCell = 272, kStrip = 40;
  const int columns = static_cast<int>(icons.front().size());
  const int width = columns * kCell, height = static_cast<int>(icons.size()) * (kCell + kStrip);
  Bytes rgba(static_cast<std::size_t>(width) * height * 4);
  const auto put = [&](int x, int y, const std::array<double, 3>& c) {
    std::uint8_t* p = &rgba[(static_cast<std::size_t>(y) * width + x) * 4];
    for (int i = 0; i < 3; ++i) p[i] = static_cast<std::uint8_t>(std::lround(c[i]));
    p[3] = 255;
  };
  const auto over = [](const std::array<std::uint8_t, 4>& src, const std::array<double, 3>& back) {
    std::array<double, 3> out;
    for (int i = 0; i < 3; ++i) out[i] = (src[i] * src[3] + back[i] * (255 - src[3])) / 255.0;
    return out;
  };
  for (int row = 0; row < static_cast<int>(icons.size()); ++row) {
    const int top = row * (kCell + kStrip);
    for (int column = 0; column < columns; ++column) {
      const Canvas& c = icons[row][column];
      const int zoom = 256 / c.Size(), left = column * kCell + 8;
      for (int y = 0; y < kCell; ++y) {
        for (int x = 0; x < kCell; ++x) {
          const double check = ((x / 8 + y / 8) % 2) ? 204 : 238;
          std::array<double, 3> back = {check, check, check};
          const int ix = (x - 8) / zoom, iy = (y - 8) / zoom;
          if (x >= 8 && y >= 8 && ix < c.Size() && iy < c.Size()) back = over(c.Rgba(ix, iy), back);
          put(column * kCell + x, top + y, back);
        }
      }
      for (int y = 0; y < kStrip; ++y) {
        for (int x = 0; x < kCell; ++x) {
          const double shade = x < kCell / 2 ? 255 : 48;
          std::array<double, 3> back = {shade, shade, shade};
          const int ix = x % (kCell / 2) - 8, iy = y - 4;
          if (ix >= 0 && iy >= 0 && ix < c.Size() && iy < c.Size()) back = over(c.Rgba(ix, iy), back);
          put(left - 8 + x, top + kCell + y, back);
        }
      }
    }
  }
  return EncodePng(width, height, rgba);
}

bool WriteFile(const std::string& path, const Bytes& data) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    std::fprintf(stderr, "vpmakeicons: cannot create %s\n", path.c_str());
    return false;
  }
  const bool ok = !data.empty() && std::fwrite(data.data(), 1, data.size(), file) == data.size();
  if (std::fclose(file) != 0 || !ok) {
    std::fprintf(stderr, "vpmakeicons: cannot write %s\n", path.c_str());
    return false;
  }
  return true;
}

}  // namespace

// The icon theme's files of one icon under `dir` (see the top of this file).
bool WriteThemeIcon(const std::string& dir, const char* context, const char* name, const Palette& palette) {
  for (int size : {16, 24, 32, 48, 64, 128, 256}) {
    const Layout* layout = nullptr;
    for (const Layout& l : Layouts()) layout = l.size == size ? &l : layout;
    const Layout scaled = layout != nullptr ? *layout : Scaled(Layouts().front(), size);
    const std::string folder = dir + "/" + std::to_string(size) + "x" + std::to_string(size) + "/" + context;
    std::filesystem::create_directories(folder);
    if (!WriteFile(folder + "/" + name + ".png", EncodePng(size, size, CanvasRgba(Draw(scaled, palette))))) {
      return false;
    }
  }
  const std::string folder = dir + "/scalable/" + context;
  std::filesystem::create_directories(folder);
  const std::string svg = Svg(Layouts().front(), palette);
  return WriteFile(folder + "/" + name + ".svg", Bytes(svg.begin(), svg.end()));
}

int main(int argc, char** argv) {
  std::string preview, hicolor, outDir;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--preview") == 0 && i + 1 < argc) {
      preview = argv[++i];
    } else if (std::strcmp(argv[i], "--hicolor") == 0 && i + 1 < argc) {
      hicolor = argv[++i];
    } else if (argv[i][0] != '-' && outDir.empty()) {
      outDir = argv[i];
    } else {
      outDir.clear();
      break;
    }
  }
  if (outDir.empty()) {
    std::fprintf(stderr, "usage: vpmakeicons [--preview SHEET.png] [--hicolor DIR] OUTDIR\n");
    return 2;
  }

  const struct {
    const char* file;
    const Palette& palette;
  } icons[] = {{"document.ico", kDocumentPalette}, {"program.ico", kProgramPalette}};
  std::vector<std::vector<Canvas>> drawn;
  for (const auto& icon : icons) {
    std::vector<codec::IconFileEntry> entries;
    drawn.emplace_back();
    for (const Layout& layout : Layouts()) {
      Canvas canvas = Draw(layout, icon.palette);
      const auto n = static_cast<std::uint32_t>(layout.size);
      const codec::RgbaImage image{n, n, CanvasRgba(canvas)};
      entries.push_back({n, n, n == 256 ? EncodePng(256, 256, image.rgba) : codec::EncodeIconBitmap(image)});
      drawn.back().push_back(std::move(canvas));
    }
    if (!WriteFile(outDir + "/" + icon.file, codec::EncodeIconFile(entries))) return 1;
  }
  if (!WriteFile(outDir + "/setup.bmp", SetupSidePicture(drawn.back().front(), kProgramPalette))) return 1;
  if (!preview.empty() && !WriteFile(preview, PreviewSheet(drawn))) return 1;
  if (!hicolor.empty() && (!WriteThemeIcon(hicolor, "apps", "orlenta-reader", kProgramPalette) ||
                           !WriteThemeIcon(hicolor, "mimetypes", "application-x-orlenta-document", kDocumentPalette))) {
    return 1;
  }
  return 0;
}
