#include "codec/vp_writer.h"

namespace codec {

VPWriter::~VPWriter() = default;

bool VPWriter::Start() { return true; }

bool VPWriter::Finish() { return true; }

}  // namespace codec
