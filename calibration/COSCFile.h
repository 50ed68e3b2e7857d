// Reads a processor configuration file message by message. The file is a plain sequence of
// Open Sound Control messages, each preceded by its size:
//
//   size       4 bytes, unsigned, big-endian: bytes of the rest of the message
//   address    OSC string: characters, a zero, zero bytes up to a multiple of 4; begins with '/'
//   type tags  OSC string beginning with ',', one character per argument
//   arguments  'i' signed 32-bit big-endian; 'f' IEEE single big-endian; 's' an OSC string;
//              any other tag carries no bytes
//
// Arguments are stored by their position over all arguments: in ",iff" the integer is intArgs[0]
// and the floats are floatArgs[1] and floatArgs[2]. Argument fields are not cleared between
// messages; a message fills only the positions its tags name.
//
// Every copy is bounded by its field: an address or string argument over 1023 characters, type
// tags over 35 characters, or more than 32 arguments make the message malformed.
//
// Threads: used on the host thread that constructs the plug-in.
#pragma once

#include <cstdint>
#include <cstdio>

class COSCFile {
public:
    static constexpr int kAddressSize = 1024;   // 1023 characters and the terminator
    static constexpr int kTypeTagSize = 36;     // ',' and 34 tags, and the terminator
    static constexpr int kMaxArguments = 32;
    static constexpr int kStringSize = 1024;    // 1023 characters and the terminator

    COSCFile();
    virtual ~COSCFile() = default;   // does not close file

    // Reads the next message into the fields. True when a whole message was read (an empty
    // message of size 0 included: it has no address and no arguments); false at the end of the
    // file or on a malformed message, with problem() telling which. [host thread]
    bool readMessage();

    // Why the last readMessage returned false: null at a clean end of the file (no byte of a
    // further message), else a short description of the fault.
    const char* problem() const { return lastProblem; }

    // Arguments of the last message: the tags after the ','.
    int argumentCount() const;
    // The type tag of argument position i, or '\0' when the message has no such argument.
    char tag(int i) const;

    std::FILE* file = nullptr;                     // the configuration file, opened by the caller
    std::uint32_t remaining = 0;                   // bytes of the message not yet read; saturates at 0
    char address[kAddressSize];                    // the message's address, zero-terminated
    char typeTags[kTypeTagSize];                   // the type-tag string with its ',', zero-terminated
    std::int32_t intArgs[kMaxArguments];           // 'i' arguments by position
    float floatArgs[kMaxArguments];                // 'f' arguments by position
    char stringArgs[kMaxArguments][kStringSize];   // 's' arguments by position, zero-terminated

private:
    enum class Piece { kRead, kCutShort, kTooLong };
    // Reads an OSC string in pieces of 4 bytes into field (size bytes), stopping after a piece
    // whose fourth byte is zero; with limitedByRemaining also when remaining has reached 0, and
    // a piece that cannot be read is then a fault (for string arguments it only ends the
    // string). Lowers remaining by 4 for every piece tried.
    Piece readString(char* field, int size, bool limitedByRemaining);
    bool readWord(unsigned char (&bytes)[4]);
    void lowerRemaining();
    bool fail(const char* problem);

    const char* lastProblem = nullptr;             // fault of the last failed read, null at end of file
};
