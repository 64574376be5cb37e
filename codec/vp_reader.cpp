#include "codec/vp_reader.h"

namespace codec {

VPReader::~VPReader() = default;

bool VPReader::Seek(std::int32_t, std::int32_t) { return false; }

std::uint32_t VPReader::Read(void*, std::uint32_t, std::uint32_t) { return 0; }

}  // namespace codec
