#include "dsp/CIIRFilter.h"

#include "dsp/CFilterCoefficients.h"
#include "FilterResponse.h"

#include <gtest/gtest.h>

using namespace filtertest;

namespace {

// Direct form I on full-length arrays, no circular history:
//   y[n] = sum b[k] x[n-k] - sum a[k] y[n-1-k],
// each sum newest term first from 0, in single precision.
std::vector<float> naiveDirectForm(const std::vector<float>& in, const std::vector<float>& b,
                                   const std::vector<float>& a, float inputGain)
{
    std::vector<float> x(in.size()), y(in.size());
    for (std::size_t n = 0; n < in.size(); ++n) {
        x[n] = inputGain * in[n];
        float forward = 0.0f;
        for (std::size_t k = 0; k < b.size() && k <= n; ++k)
            forward += b[k] * x[n - k];
        float back = 0.0f;
        for (std::size_t k = 1; k <= a.size() && k <= n; ++k)
            back += a[k - 1] * y[n - k];
        y[n] = forward - back;
    }
    return y;
}

struct Design {
    int numCount;
    int denCount;
};

// Coefficients small enough that sum |a| < 1 keeps every design stable.
std::vector<float> coefficients(int count, float scale, std::uint32_t seed)
{
    std::vector<float> c = noise(static_cast<std::size_t>(count), seed);
    for (float& v : c)
        v *= scale / static_cast<float>(count);
    return c;
}

class CIIRFilterAgainstNaive : public ::testing::TestWithParam<Design> {};

TEST_P(CIIRFilterAgainstNaive, MatchesTheNaiveDirectFormAcrossHistoryWrapsAndBlockSplits)
{
    const Design d = GetParam();
    const std::vector<float> b = coefficients(d.numCount, 2.0f, 11);
    const std::vector<float> a = coefficients(d.denCount, 0.9f, 23);

    CFilterCoefficients table;
    table.setEntry(44100.0f, a, b);
    CIIRFilter filter;
    filter.setCoefficients(&table);
    filter.setSampleRate(44100.0f);
    filter.inputGain = 0.5f;
    ASSERT_EQ(filter.numCount, d.numCount);
    ASSERT_EQ(filter.denCount, d.denCount);

    // 5 passes of the 1024-entry history, in blocks of assorted lengths.
    const std::vector<float> x = noise(5 * 1024 + 3, 5);
    std::vector<float> y = x;
    processInBlocks(filter, y, {1, 7, 32, 513, 4096});
    EXPECT_EQ(y, naiveDirectForm(x, b, a, 0.5f));
}

INSTANTIATE_TEST_SUITE_P(CoefficientCounts, CIIRFilterAgainstNaive,
                         ::testing::Values(Design{3, 2}, Design{1, 1}, Design{2, 9}, Design{17, 5},
                                           Design{300, 200}, Design{1024, 1}, Design{1, 1024},
                                           Design{1024, 1024}));

TEST(CIIRFilter, WithUnitNumeratorAndZeroFeedbackPassesTheSignal)
{
    const float b[] = {1.0f};
    const float a[] = {0.0f};
    CIIRFilter filter;
    filter.num = b;
    filter.den = a;
    filter.numCount = 1;
    filter.denCount = 1;
    const std::vector<float> x = noise(3000);
    std::vector<float> y = x;
    filter.process(y.data(), static_cast<std::int32_t>(y.size()));
    EXPECT_EQ(y, x);
}

TEST(CIIRFilter, WithoutCoefficientsLeavesTheBufferAsItWas)
{
    CIIRFilter fresh;
    const float b[] = {2.0f};
    CIIRFilter noFeedback;   // a numerator alone is not a filter here
    noFeedback.num = b;
    noFeedback.numCount = 1;
    CIIRFilter negative;     // counts set out of range directly are clamped to 0
    negative.num = b;
    negative.den = b;
    negative.numCount = -5;
    negative.denCount = 1;
    for (CIIRFilter* filter : {&fresh, &noFeedback, &negative}) {
        const std::vector<float> x = noise(100);
        std::vector<float> y = x;
        filter->process(y.data(), 100);
        EXPECT_EQ(y, x);
    }
}

TEST(CIIRFilter, ClampsTableLengthsToItsHistory)
{
    const std::vector<float> b = coefficients(1500, 1.0f, 3);
    const std::vector<float> a = coefficients(2000, 0.5f, 4);
    CFilterCoefficients table;
    table.setEntry(48000.0f, a, b);
    CIIRFilter filter;
    filter.setCoefficients(&table);
    filter.setSampleRate(48000.0f);
    EXPECT_EQ(filter.numCount, 1024);
    EXPECT_EQ(filter.denCount, 1024);

    const std::vector<float> x = noise(2500);
    std::vector<float> y = x;
    filter.process(y.data(), static_cast<std::int32_t>(y.size()));
    EXPECT_EQ(y, naiveDirectForm(x, std::vector<float>(b.begin(), b.begin() + 1024),
                                 std::vector<float>(a.begin(), a.begin() + 1024), 1.0f));
}

TEST(CIIRFilter, ProcessesABlockLongerThan32767SamplesInOneCall)
{
    const std::vector<float> b = coefficients(4, 1.0f, 8);
    const std::vector<float> a = coefficients(3, 0.8f, 9);
    CFilterCoefficients table;
    table.setEntry(96000.0f, a, b);
    CIIRFilter whole, split;
    for (CIIRFilter* f : {&whole, &split}) {
        f->setCoefficients(&table);
        f->setSampleRate(96000.0f);
    }
    const std::vector<float> x = noise(70000);
    std::vector<float> y = x;
    whole.process(y.data(), static_cast<std::int32_t>(y.size()));
    std::vector<float> expected = x;
    for (std::size_t start = 0; start < x.size(); start += 10000)
        split.process(expected.data() + start, 10000);
    EXPECT_EQ(y, expected);
    EXPECT_EQ(whole.writeIndex, static_cast<std::int16_t>(70000 % 1024));
}

TEST(CIIRFilter, ResetClearsTheHistoriesAndInitDetachesTheTable)
{
    const std::vector<float> b = {0.5f, 0.25f};
    const std::vector<float> a = {-0.5f};
    CFilterCoefficients table;
    table.setEntry(48000.0f, a, b);
    CIIRFilter filter;
    filter.setCoefficients(&table);
    filter.setSampleRate(48000.0f);
    const std::vector<float> first = impulseResponse(filter, 50);

    std::vector<float> burst = noise(300);
    filter.process(burst.data(), 300);
    filter.reset();
    EXPECT_EQ(impulseResponse(filter, 50), first);

    filter.init();
    EXPECT_EQ(filter.coefficients, nullptr);
    EXPECT_EQ(filter.writeIndex, 0);
    const std::vector<float> x = noise(64);
    std::vector<float> y = x;
    filter.process(y.data(), 64);
    EXPECT_EQ(y, x);
}

} // namespace
