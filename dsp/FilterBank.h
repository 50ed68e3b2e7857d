// A bank of eight filter sets, four filters each (filter k processes channel k). A set is chosen
// by number and named by its first filter's name; a slot whose first filter is absent is empty.
// The bank owns its filters. Sets are filled while the plug-in is constructed; afterwards the
// audio thread reads the filter pointers, which change only through swapSet on that thread.
#pragma once

#include "dsp/CFilter.h"

#include <cstdint>
#include <memory>

class FilterBank {
public:
    static constexpr int kSets = 8;
    static constexpr int kChannels = 4;

    // Sets in use. The loaders raise it for every calibration, also past 8 when the bank is full.
    std::int16_t count = 0;
    // Raises count by one, as every calibration does, stopping at the largest int16 value.
    void countSet()
    {
        if (count < INT16_MAX)
            ++count;
    }

    bool hasSet(int set) const { return set >= 0 && set < kSets && slots[set][0] != nullptr; }
    CFilter* filter(int set, int channel) const { return slots[set][channel].get(); }
    const char* setName(int set) const { return hasSet(set) ? slots[set][0]->name : ""; }

    // Stores filter at [set][channel], replacing (and releasing) any filter there. [host thread]
    CFilter* place(int set, int channel, std::unique_ptr<CFilter> filter)
    {
        slots[set][channel] = std::move(filter);
        return slots[set][channel].get();
    }

    // Exchanges the four filters of a set with filters (null ones empty the set): pointer swaps,
    // no allocation, nothing freed. [the thread that processes the bank]
    void swapSet(int set, std::unique_ptr<CFilter> (&filters)[kChannels])
    {
        for (int channel = 0; channel < kChannels; ++channel)
            slots[set][channel].swap(filters[channel]);
    }

private:
    std::unique_ptr<CFilter> slots[kSets][kChannels];   // owned filters, null where empty
};
