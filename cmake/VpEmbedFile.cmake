# cmake -DINPUT=FILE -DOUTPUT=FILE.cpp -DNAMESPACE=ns -DFUNCTION=Name -DHEADER=folder/file.h -P VpEmbedFile.cmake
# Writes a source file whose function
#   const std::uint8_t* NAMESPACE::FUNCTION(std::uint32_t& length)
# returns INPUT's bytes, so that a program carries a file the build made.
file(READ "${INPUT}" _hex HEX)
string(LENGTH "${_hex}" _digits)
math(EXPR _length "${_digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," _bytes "${_hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n    " _bytes "${_bytes}")
file(WRITE "${OUTPUT}.new"
"// Made by the build from ${INPUT}; do not edit.
#include \"${HEADER}\"

namespace ${NAMESPACE} {

const std::uint8_t* ${FUNCTION}(std::uint32_t& length) {
  static const std::uint8_t bytes[] = {
    ${_bytes}
  };
  length = ${_length};
  return bytes;
}

}  // namespace ${NAMESPACE}
")
file(RENAME "${OUTPUT}.new" "${OUTPUT}")
