#include "plugin/PendingMessages.h"

#include "platform/platform.h"

#include <cstdio>

// A bounded multi-producer, multi-consumer queue: each cell's sequence says whose turn it is, a
// push or a show claims its position with one compare-and-swap.
PendingMessages::PendingMessages()
{
    for (std::uint32_t i = 0; i < kCapacity; ++i)
        cells[i].sequence.store(i, std::memory_order_relaxed);
}

void PendingMessages::pushNoFilter(float rateHz)
{
    std::uint32_t position = pushPosition.load(std::memory_order_relaxed);
    for (;;) {
        Cell& cell = cells[position & (kCapacity - 1)];
        const std::uint32_t sequence = cell.sequence.load(std::memory_order_acquire);
        const auto lag = static_cast<std::int32_t>(sequence - position);
        if (lag == 0) {
            if (pushPosition.compare_exchange_weak(position, position + 1, std::memory_order_relaxed)) {
                cell.rateHz = rateHz;
                cell.sequence.store(position + 1, std::memory_order_release);
                return;
            }
        } else if (lag < 0) {
            droppedCount.fetch_add(1, std::memory_order_relaxed);   // full: nobody has shown for a while
            return;
        } else {
            position = pushPosition.load(std::memory_order_relaxed);
        }
    }
}

void PendingMessages::show()
{
    std::uint32_t position = showPosition.load(std::memory_order_relaxed);
    for (;;) {
        Cell& cell = cells[position & (kCapacity - 1)];
        const std::uint32_t sequence = cell.sequence.load(std::memory_order_acquire);
        const auto lag = static_cast<std::int32_t>(sequence - (position + 1));
        if (lag < 0)
            return;   // empty
        if (lag > 0) {
            position = showPosition.load(std::memory_order_relaxed);
            continue;
        }
        if (!showPosition.compare_exchange_weak(position, position + 1, std::memory_order_relaxed))
            continue;
        const float rateHz = cell.rateHz;
        cell.sequence.store(position + kCapacity, std::memory_order_release);
        // "%6.0f" prints no decimal point, so the text does not depend on the process locale.
        char text[96];
        std::snprintf(text, sizeof text, "No filter found for sampling rate %6.0f", static_cast<double>(rateHz));
        platform::showMessage(text);
        position = showPosition.load(std::memory_order_relaxed);
    }
}
