// Level meters of the four outputs after the last stage: per block the audio thread adds each
// channel's sum of squares and its sample count; a reader takes the root mean square since its
// last query. Sum and count of a meter share one atomic word, so an add and a query never split
// them and no block is lost or counted twice.
#pragma once

#include <atomic>
#include <cstdint>

namespace engine {

class Meters {
public:
    // What a query takes: the sum of squares and the samples since the last query.
    struct Reading {
        float sumOfSquares = 0.0f;
        std::uint32_t samples = 0;
    };

    // Adds count samples of each of the four channels. [audio thread]
    void add(float* const channels[4], std::int32_t count);
    // The same from the four channels' sums of squares (each from 0, in sample order, in single
    // precision, as add forms them) over count samples. [audio thread]
    void addSums(const float sums[4], std::int32_t count);

    // Takes and clears the reading of all four outputs (sums of squares added over the channels,
    // samples counted per channel), or of one output channel 0..3. [any thread]
    Reading takeAll() { return all.take(); }
    Reading takeChannel(int channel);

    // The root mean square of all four outputs (sum of the squares over the count of samples per
    // channel) since the last query, and clears it; the last answer again when no sample came.
    // [any thread]
    float level();
    // The same for output channel 0..3; 0 for any other channel. [any thread]
    float channelLevel(int channel);

private:
    struct Meter {
        std::atomic<std::uint64_t> word {0};   // float sum of squares in the low half, samples in the high half
        std::atomic<float> last {0.0f};        // the answer when no sample came
        void add(float sumOfSquares, std::uint32_t samples);
        Reading take();
        float level();
    };
    Meter all;                                 // all four outputs
    Meter channel[4];                          // W, X, Y, Z
};

} // namespace engine
