// Messages raised where none may be shown: a control call on the audio thread selects a filter set
// that has no response for the rate. Each is queued here (a bounded, lock-free queue; a full
// queue drops the message) and shown later from a host thread, by show.
#pragma once

#include <atomic>
#include <cstdint>

class PendingMessages {
public:
    static constexpr std::uint32_t kCapacity = 64;   // a power of two

    PendingMessages();

    // Queues "No filter found for sampling rate %6.0f" for rateHz. [any thread] Never waits.
    void pushNoFilter(float rateHz);
    // Shows every queued message through platform::showMessage, oldest first. [host thread]
    void show();
    // Messages dropped because the queue was full.
    std::uint32_t dropped() const { return droppedCount.load(std::memory_order_relaxed); }

private:
    struct Cell {
        std::atomic<std::uint32_t> sequence;   // ticket of the push that may fill it, or that filled it + 1
        float rateHz;                          // written before sequence is published
    };
    Cell cells[kCapacity];
    std::atomic<std::uint32_t> pushPosition {0};
    std::atomic<std::uint32_t> showPosition {0};
    std::atomic<std::uint32_t> droppedCount {0};
};
