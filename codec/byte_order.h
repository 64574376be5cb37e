#pragma once
// The codec reads and writes the container's integers with the byte-order
// helpers of the primitives.

#include "security/byte_order.h"

namespace codec {

using security::LoadBigEndian16;
using security::LoadBigEndian32;
using security::LoadLittleEndian16;
using security::LoadLittleEndian32;
using security::StoreBigEndian16;
using security::StoreBigEndian32;

}  // namespace codec
