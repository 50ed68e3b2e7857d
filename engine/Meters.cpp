#include "engine/Meters.h"

#include "dsp/Lanes.h"

#include <cmath>
#include <cstring>

namespace engine {

namespace {

std::uint64_t pack(float sum, std::uint32_t count)
{
    std::uint32_t bits;
    std::memcpy(&bits, &sum, sizeof bits);
    return static_cast<std::uint64_t>(count) << 32 | bits;
}

float sumOf(std::uint64_t word)
{
    const auto bits = static_cast<std::uint32_t>(word);
    float sum;
    std::memcpy(&sum, &bits, sizeof sum);
    return sum;
}

std::uint32_t countOf(std::uint64_t word) { return static_cast<std::uint32_t>(word >> 32); }

} // namespace

void Meters::Meter::add(float sumOfSquares, std::uint32_t samples)
{
    // Only a query's exchange can come between the load and the store; the loop then adds again
    // to what the query left (zero).
    std::uint64_t old = word.load(std::memory_order_relaxed);
    while (!word.compare_exchange_weak(old, pack(sumOf(old) + sumOfSquares, countOf(old) + samples),
                                       std::memory_order_relaxed))
        ;
}

Meters::Reading Meters::Meter::take()
{
    const std::uint64_t taken = word.exchange(0, std::memory_order_relaxed);
    return {sumOf(taken), countOf(taken)};
}

float Meters::Meter::level()
{
    const Reading reading = take();
    if (reading.samples == 0)
        return last.load(std::memory_order_relaxed);
    const float rms = std::sqrt(reading.sumOfSquares / static_cast<float>(reading.samples));
    last.store(rms, std::memory_order_relaxed);
    return rms;
}

void Meters::add(float* const channels[4], std::int32_t count)
{
    if (count <= 0)
        return;
    // Each channel's sum from 0 in sample order, in single precision, four channels in lanes.
    lanes::F32x4 sum;
    lanes::visitSteps(channels, count, [&](lanes::F32x4 x) { sum = sum + x * x; });
    float sums[4];
    sum.store(sums);
    addSums(sums, count);
}

void Meters::addSums(const float sums[4], std::int32_t count)
{
    float total = 0.0f;
    for (int k = 0; k < 4; ++k) {
        total += sums[k];
        channel[k].add(sums[k], static_cast<std::uint32_t>(count));
    }
    all.add(total, static_cast<std::uint32_t>(count));
}

Meters::Reading Meters::takeChannel(int k) { return k >= 0 && k < 4 ? channel[k].take() : Reading {}; }

float Meters::level() { return all.level(); }

float Meters::channelLevel(int k) { return k >= 0 && k < 4 ? channel[k].level() : 0.0f; }

} // namespace engine
