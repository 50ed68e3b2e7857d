# Writes OUTPUT, a C++ source that holds the file INPUT as bitmap resource number ID:
#   cmake -DINPUT=background.bmp -DOUTPUT=EmbeddedResources.cpp -DID=128 -P Embed.cmake
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
# Sixteen bytes a line: "0x12, " per byte.
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1, " bytes "${hex}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f], ){16})" "\\1\n    " bytes "${bytes}")
get_filename_component(name "${INPUT}" NAME)
file(WRITE "${OUTPUT}.tmp" "// Generated from resources/${name} by resources/Embed.cmake; do not edit.
#include \"resources/Resources.h\"

namespace {

const unsigned char bitmap${ID}[${size}] = {
    ${bytes}
};

} // namespace

namespace resources {

std::span<const Bitmap> bitmaps()
{
    static const Bitmap table[] = {{${ID}, bitmap${ID}, sizeof bitmap${ID}}};
    return table;
}

} // namespace resources
")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
