#pragma once
// Pictures for the Linux desktop: the images of a document's icon as pixels,
// scaled to the size a window or a file manager asks for, and PNG files.

#include <cstdint>
#include <string>
#include <vector>

#include "codec/icon_file_writer.h"
#include "codec/icon_image.h"

namespace desktop {

// Straight (not premultiplied) 8-bit red, green, blue, alpha; rows top-down:
// the pixels the codec's icon file writer takes.
using Bitmap = codec::RgbaImage;

// The largest side an icon image may have here. The directory stores at most
// 256, but a PNG image may claim any size up to 2^31 in its own header.
inline constexpr std::uint32_t kMaxImageSide = 1024;

// Decodes one image of an icon file: a PNG (through libpng) or a bitmap
// (40-byte or longer info header, uncompressed, 1, 4, 8, 24 or 32 bits per
// pixel, twice the height for the colour rows and the AND mask). False, with
// `out` empty, for any other data, damaged data, or a side above
// kMaxImageSide.
bool DecodeIconImage(const codec::IconImage& image, Bitmap& out);

// Decodes a PNG held in memory; false for damaged data or a side above `maxSide`.
bool DecodePng(const std::uint8_t* data, std::size_t length, std::uint32_t maxSide, Bitmap& out);

// `in` scaled so that its longer side is `size` pixels and the other keeps the
// proportions (at least 1): averaged over each target pixel's area when
// shrinking, interpolated when growing, in premultiplied alpha so that
// transparent pixels leave no fringe.
Bitmap ScaleToFit(const Bitmap& in, std::uint32_t size);

// `bitmap` as the bytes of an 8-bit RGBA PNG file; false when libpng fails.
bool EncodePng(const Bitmap& bitmap, std::vector<std::uint8_t>& out);

// Writes `bitmap` as an 8-bit RGBA PNG at `path`: into a new file beside it
// that replaces `path` only when complete. False, with a reason in `error`
// and nothing left behind, when it cannot.
bool WritePngFile(const Bitmap& bitmap, const std::string& path, std::string& error);

}  // namespace desktop
