#include "plugin/LiveProgram.h"

#include <cstring>

static_assert(ProgramName::kSize % 8 == 0, "the name fills whole words");

void ProgramName::set(const char* text)
{
    char padded[kSize] = {};
    std::strncpy(padded, text ? text : "", kSize - 1);
    renames.fetch_add(1, std::memory_order_acq_rel);
    for (int w = 0; w < kWords; ++w) {
        std::uint64_t word;
        std::memcpy(&word, padded + 8 * w, sizeof word);
        words[w].store(word, std::memory_order_relaxed);
    }
    renames.fetch_add(1, std::memory_order_release);
}

void ProgramName::get(char (&text)[kSize]) const
{
    // A rename that overlaps the read shows as a change of the counter; three tries are plenty
    // for renames typed by a person, and the last read is kept whatever happens.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::uint32_t before = renames.load(std::memory_order_acquire);
        for (int w = 0; w < kWords; ++w) {
            const std::uint64_t word = words[w].load(std::memory_order_relaxed);
            std::memcpy(text + 8 * w, &word, sizeof word);
        }
        std::atomic_thread_fence(std::memory_order_acquire);
        if ((before & 1u) == 0 && renames.load(std::memory_order_relaxed) == before)
            break;
    }
    text[kSize - 1] = '\0';
}

void LiveProgram::assign(const ProgramRecord& record)
{
    for (int k = 0; k < param::kCount; ++k)
        values[k].store(record.values[k], std::memory_order_relaxed);
    name.set(record.name);
}

ProgramRecord LiveProgram::record() const
{
    ProgramRecord copy {};
    for (int k = 0; k < param::kCount; ++k)
        copy.values[k] = values[k].load(std::memory_order_relaxed);
    name.get(copy.name);
    return copy;
}
