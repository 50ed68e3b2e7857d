// A program as the control side keeps it while the plug-in lives: the 46 normalised values and
// the name, each readable and writable from any thread without a lock. Hosts read parameters and
// names from their user-interface thread while automating from the audio thread.
#pragma once

#include "model/ProgramRecord.h"

#include <atomic>
#include <cstdint>

// A program name of at most 23 characters in three atomic words. A reader that meets a rename in
// progress reads again (a bounded number of times), so it gets one name or the other.
class ProgramName {
public:
    static constexpr int kSize = ProgramRecord::kNameSize;   // 23 characters and the terminator

    // Copies text, cut to 23 characters. [any thread]
    void set(const char* text);
    // The name, terminated. [any thread]
    void get(char (&text)[kSize]) const;

private:
    static constexpr int kWords = kSize / 8;
    std::atomic<std::uint64_t> words[kWords] = {};   // the characters, zero-padded
    std::atomic<std::uint32_t> renames {0};          // odd while a rename is being written
};

struct LiveProgram {
    std::atomic<float> values[param::kCount] = {};   // normalised, value-block order
    ProgramName name;

    std::atomic<float>& value(int parameter) { return values[param::positionOf(parameter)]; }
    const std::atomic<float>& value(int parameter) const { return values[param::positionOf(parameter)]; }

    // Takes every value and the name of record. [host thread]
    void assign(const ProgramRecord& record);
    // The program as a plain record. [any thread]
    ProgramRecord record() const;
};
