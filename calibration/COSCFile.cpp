#include "calibration/COSCFile.h"

#include <cstring>

namespace {

std::uint32_t uint32FromBigEndian(const unsigned char (&bytes)[4])
{
    return (static_cast<std::uint32_t>(bytes[0]) << 24) | (static_cast<std::uint32_t>(bytes[1]) << 16)
           | (static_cast<std::uint32_t>(bytes[2]) << 8) | static_cast<std::uint32_t>(bytes[3]);
}

} // namespace

COSCFile::COSCFile()
{
    std::memset(address, 0, sizeof address);
    std::memset(typeTags, 0, sizeof typeTags);
    std::memset(intArgs, 0, sizeof intArgs);
    std::memset(floatArgs, 0, sizeof floatArgs);
    std::memset(stringArgs, 0, sizeof stringArgs);
}

int COSCFile::argumentCount() const
{
    if (typeTags[0] != ',')
        return 0;
    return static_cast<int>(std::strlen(typeTags)) - 1;
}

char COSCFile::tag(int i) const
{
    if (i < 0 || i >= argumentCount())
        return '\0';
    return typeTags[1 + i];
}

bool COSCFile::fail(const char* problem)
{
    lastProblem = problem;
    return false;
}

bool COSCFile::readWord(unsigned char (&bytes)[4])
{
    return std::fread(bytes, 1, sizeof bytes, file) == sizeof bytes;
}

void COSCFile::lowerRemaining()
{
    // A size that is not a multiple of 4 would take remaining below 0; it stops at 0 instead of
    // wrapping around to four billion.
    remaining = remaining > 4 ? remaining - 4 : 0;
}

COSCFile::Piece COSCFile::readString(char* field, int size, bool limitedByRemaining)
{
    // Whatever happens, the field is left a zero-terminated string within its size.
    int stored = 0;
    for (;;) {
        if (stored + 4 > size) {
            field[size - 1] = '\0';
            return Piece::kTooLong;
        }
        unsigned char bytes[4];
        const bool read = readWord(bytes);
        lowerRemaining();
        if (!read) {
            field[stored] = '\0';
            if (limitedByRemaining)
                return Piece::kCutShort;
            return Piece::kRead;   // a string argument just ends where the file does
        }
        std::memcpy(field + stored, bytes, sizeof bytes);
        stored += 4;
        if (bytes[3] == 0 || (limitedByRemaining && remaining == 0))
            break;
    }
    // The field must end with a terminator: a full field whose last byte is not zero holds a
    // string one character too long.
    if (stored == size) {
        if (field[size - 1] == '\0')
            return Piece::kRead;
        field[size - 1] = '\0';
        return Piece::kTooLong;
    }
    field[stored] = '\0';
    return Piece::kRead;
}

bool COSCFile::readMessage()
{
    lastProblem = nullptr;
    address[0] = '\0';
    typeTags[0] = '\0';
    remaining = 0;
    if (!file)
        return fail("no file");

    unsigned char sizeBytes[4];
    const std::size_t got = std::fread(sizeBytes, 1, sizeof sizeBytes, file);
    if (got == 0 && !std::ferror(file))
        return false;   // the end of the file, between messages
    if (got != sizeof sizeBytes)
        return fail("size field cut short");
    remaining = uint32FromBigEndian(sizeBytes);
    if (remaining == 0)
        return true;

    switch (readString(address, kAddressSize, true)) {
    case Piece::kCutShort: return fail("address cut short by the end of the file");
    case Piece::kTooLong: return fail("address longer than 1023 characters");
    case Piece::kRead: break;
    }
    if (address[0] != '/')
        return fail("address does not begin with '/'");

    if (remaining == 0)
        return true;   // nothing left for type tags: no arguments
    switch (readString(typeTags, kTypeTagSize, true)) {
    case Piece::kCutShort: return fail("type tags cut short by the end of the file");
    case Piece::kTooLong: return fail("type tags longer than 35 characters");
    case Piece::kRead: break;
    }
    if (typeTags[0] != ',')
        return fail("type tags do not begin with ','");

    const int count = argumentCount();
    if (count > kMaxArguments)
        return fail("more than 32 arguments");
    for (int i = 0; i < count; ++i) {
        unsigned char bytes[4];
        switch (typeTags[1 + i]) {
        case 'f': {
            if (!readWord(bytes))
                return fail("float argument cut short by the end of the file");
            const std::uint32_t bits = uint32FromBigEndian(bytes);
            static_assert(sizeof(float) == sizeof bits);
            std::memcpy(&floatArgs[i], &bits, sizeof bits);
            lowerRemaining();
            break;
        }
        case 'i':
            if (!readWord(bytes))
                return fail("integer argument cut short by the end of the file");
            intArgs[i] = static_cast<std::int32_t>(uint32FromBigEndian(bytes));
            lowerRemaining();
            break;
        case 's':
            if (readString(stringArgs[i], kStringSize, false) == Piece::kTooLong)
                return fail("string argument longer than 1023 characters");
            break;
        default:
            break;   // tags of other types carry no bytes here
        }
    }
    return true;
}
