// CFFTFilter against direct convolution in double precision, plus the block bookkeeping
// (latency, call sizes, DC/Nyquist pairing), the lazy redesign, and an operator-new counter that
// shows the audio path allocates nothing, redesigns included.
#include "dsp/CFFTFilter.h"

#include "FilterResponse.h"
#include "dsp/CFilterCoefficients.h"
#include "dsp/CCoincidenceFilter.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <ostream>
#include <random>
#include <string>
#include <vector>

// ---- Allocation counter: global operator new replaced for this test binary --------------------

namespace {
std::atomic<bool> countingAllocations{false};
std::atomic<long> allocationCount{0};
std::atomic<long> allocationBytes{0};

void* countedAllocate(std::size_t size)
{
    if (countingAllocations.load(std::memory_order_relaxed)) {
        allocationCount.fetch_add(1, std::memory_order_relaxed);
        allocationBytes.fetch_add(static_cast<long>(size), std::memory_order_relaxed);
    }
    return std::malloc(size == 0 ? 1 : size);
}
} // namespace

// Out of line, so that the compiler does not pair an inlined malloc with a delete expression.
// The array and nothrow forms of the library call these two.
[[gnu::noinline]] void* operator new(std::size_t size)
{
    if (void* p = countedAllocate(size))
        return p;
    throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

using filtertest::processed;
using filtertest::processInBlocks;

// Counts the allocations made while it lives.
class AllocationScope {
public:
    AllocationScope()
    {
        allocationCount.store(0);
        allocationBytes.store(0);
        countingAllocations.store(true);
    }
    ~AllocationScope() { countingAllocations.store(false); }
    long count() const { return allocationCount.load(); }
    long bytes() const { return allocationBytes.load(); }
};

// ---- Message capture without allocating (the audio path may show a message) ------------------

struct MessageCapture {
    char lastText[256] = {};
    int count = 0;

    MessageCapture() { platform::setMessageSink(&MessageCapture::receive, this); }
    ~MessageCapture() { platform::setMessageSink(nullptr, nullptr); }

    static void receive(void* context, const char* /*caption*/, const char* text)
    {
        auto* self = static_cast<MessageCapture*>(context);
        std::strncpy(self->lastText, text, sizeof self->lastText - 1);
        ++self->count;
    }
};

// ---- Probes -----------------------------------------------------------------------------------

// A CFFTFilter whose internals the tests can read, counting its designs.
class ProbeFilter : public CFFTFilter {
public:
    using CFFTFilter::fft;
    using CFFTFilter::position;
    using CFFTFilter::responseLength;
    using CFFTFilter::spectrum;

    void design(float rateHz) override
    {
        ++designCalls;
        CFFTFilter::design(rateHz);
    }

    int designCalls = 0;
};

// A filter with a response set directly as a spectrum.
class FixedSpectrumFilter : public CFFTFilter {
public:
    explicit FixedSpectrumFilter(std::vector<double> h) : wanted(std::move(h)) {}

    void design(float rateHz) override
    {
        sampleRate = rateHz;
        ensureTransform();
        std::copy(wanted.begin(), wanted.end(), spectrum);
    }

private:
    std::vector<double> wanted;
};

std::vector<float> randomFloats(std::size_t n, unsigned seed, float lo = -1.0f, float hi = 1.0f)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(lo, hi);
    std::vector<float> v(n);
    for (float& s : v)
        s = dist(rng);
    return v;
}

// The filter's output stream computed without transforms: the input convolved with h and
// delayed by 1024 samples, plus the effect of multiplying the (DC, Nyquist) pair as one complex
// number. With block signal a (the 2048 inputs of the block step that produced the sample), its
// DC sum X0 and Nyquist sum XN, and h's DC gain H0 and Nyquist gain HN, the pair becomes
// (X0 H0 - XN HN, XN H0 + X0 HN) instead of (X0 H0, XN HN); in time that adds
// (dDC + (-1)^n dNyq) / 2048. A response with H0 = HN = 0 is a plain convolution.
std::vector<double> overlapSaveReference(const std::vector<float>& x, const std::vector<double>& h)
{
    double h0 = 0.0, hn = 0.0;
    for (std::size_t m = 0; m < h.size(); ++m) {
        h0 += h[m];
        hn += (m % 2 == 0) ? h[m] : -h[m];
    }
    std::vector<double> y(x.size(), 0.0);
    double x0 = 0.0, xn = 0.0;
    for (std::size_t n = 1024; n < x.size(); ++n) {
        if (n % 1024 == 0) {
            // The block whose step emits samples n .. n+1023 read inputs n-2048 .. n-1.
            x0 = xn = 0.0;
            for (std::size_t q = 0; q < 2048; ++q) {
                const long t = static_cast<long>(n) - 2048 + static_cast<long>(q);
                const double a = t >= 0 ? x[static_cast<std::size_t>(t)] : 0.0;
                x0 += a;
                xn += (q % 2 == 0) ? a : -a;
            }
        }
        double sum = 0.0;
        const std::size_t t0 = n - 1024;
        for (std::size_t m = 0; m < h.size() && m <= t0; ++m)
            sum += h[m] * static_cast<double>(x[t0 - m]);
        const double dDc = -xn * hn;
        const double dNyquist = xn * h0 + x0 * hn - xn * hn;
        y[n] = sum + (dDc + (n % 2 == 0 ? dNyquist : -dNyquist)) / 2048.0;
    }
    return y;
}

double sumAbs(const std::vector<double>& h)
{
    double s = 0.0;
    for (double v : h)
        s += std::fabs(v);
    return s;
}


// A table-driven filter at 48 kHz holding the table, reset or as constructed.
std::unique_ptr<ProbeFilter> tableFilter(CFilterCoefficients* table, bool reset = true)
{
    auto filter = std::make_unique<ProbeFilter>();
    filter->setCoefficients(table);
    filter->prepare(48000.0f);
    if (reset)
        filter->reset();
    return filter;
}

// ---- Convolution against the direct form ------------------------------------------------------

struct ResponseCase {
    const char* name;
    std::vector<float> samples;     // what the table holds
    std::vector<double> expected;   // the response the filter should apply
};

void PrintTo(const ResponseCase& c, std::ostream* os) { *os << c.name; }

// The first `length` samples of h divided by `divisor`, in double.
std::vector<double> scaled(const std::vector<float>& h, double divisor, std::size_t length = 1024)
{
    std::vector<double> e(h.begin(), h.begin() + static_cast<long>(std::min(length, h.size())));
    for (double& v : e)
        v /= divisor;
    return e;
}

std::vector<ResponseCase> responseCases()
{
    // 300 random taps, normalised by the most positive one, not by the larger negative one
    std::vector<float> random = randomFloats(300, 11u, -0.7f, 0.7f);
    random[17] = 0.75f;
    random[40] = -0.9f;
    // exactly 1024 taps, the longest that does not alias
    std::vector<float> full = randomFloats(1024, 12u, -0.5f, 0.5f);
    full[1023] = 2.0f;
    // 1500 taps: only the first 1024 count, also for the normaliser
    std::vector<float> longer = randomFloats(1500, 13u, -0.5f, 0.5f);
    longer[100] = 0.8f;
    longer[1200] = 5.0f;
    // no positive sample: used as it is
    const std::vector<float> negative = randomFloats(200, 14u, -1.0f, -0.01f);
    return {
        {"SingleSampleBecomesUnitImpulse", {0.5f}, {1.0}},
        // no DC and no Nyquist gain: the pairing of the edge bins changes nothing
        {"ResponseWithoutDcOrNyquistGainIsAPlainConvolution", {0.5f, 0.25f, -0.5f, -0.25f}, {1.0, 0.5, -1.0, -0.5}},
        {"RandomResponseIsNormalisedByItsLargestSample", random, scaled(random, 0.75)},
        {"FullLengthResponseReachesTheLastTap", full, scaled(full, 2.0)},
        {"ResponseLongerThan1024UsesOnlyItsFirst1024Samples", longer, scaled(longer, 0.8)},
        {"ResponseWithoutPositiveSampleIsUsedUnscaled", negative, scaled(negative, 1.0)},
        {"AllZeroResponseGivesSilence", std::vector<float>(64, 0.0f), {0.0}},
        {"EmptyResponseGivesSilence", {}, {0.0}},   // present but empty: silence, and no message
    };
}

class CFFTFilterResponse : public ::testing::TestWithParam<ResponseCase> {};

// Double-precision FFT errors are ~1e-13; the float output rounds at 2^-24 relative.
void expectOverlapSave(const std::vector<float>& y, const std::vector<double>& expected,
                       const std::vector<double>& h, std::size_t from)
{
    const double tolerance = 1e-9 * sumAbs(h) + 1e-12;
    for (std::size_t n = from; n < y.size(); ++n)
        ASSERT_NEAR(y[n], expected[n], tolerance + 1.2e-7 * std::fabs(expected[n])) << "n=" << n;
}

TEST_P(CFFTFilterResponse, OutputIsInputConvolvedWithTheResponseDelayedBy1024Samples)
{
    const ResponseCase& c = GetParam();
    CFilterCoefficients table;
    table.setEntry(48000.0f, {}, c.samples);
    MessageCapture messages;
    const auto filter = tableFilter(&table);
    const std::vector<float> x = randomFloats(7000, 21u);
    expectOverlapSave(processed(*filter, x), overlapSaveReference(x, c.expected), c.expected, 0);
    EXPECT_EQ(messages.count, 0);
    EXPECT_EQ(filter->responseLength, std::min<std::size_t>(c.samples.size(), 1024));
}

INSTANTIATE_TEST_SUITE_P(Responses, CFFTFilterResponse, ::testing::ValuesIn(responseCases()),
                         [](const ::testing::TestParamInfo<ResponseCase>& info) {
                             return std::string(info.param.name);
                         });

// ---- Spectrum pairing --------------------------------------------------------------------------

TEST(CFFTFilter, UnitSpectrumBelowNyquistDelaysTheInputBy1024Samples)
{
    std::vector<double> h(2048, 0.0);
    std::fill(h.begin(), h.begin() + 1024, 1.0);
    FixedSpectrumFilter filter(h);
    filter.prepare(48000.0f);
    filter.reset();
    const std::vector<float> x = randomFloats(5000, 41u);
    const std::vector<float> y = processed(filter, x);
    for (std::size_t n = 0; n < y.size(); ++n)
        ASSERT_NEAR(y[n], n < 1024 ? 0.0f : x[n - 1024], 1e-6) << "n=" << n;
}

TEST(CFFTFilter, DcAndNyquistAreMultipliedAsOneComplexPair)
{
    // H = spectrum of a unit impulse, Nyquist included: (1, 1) at pair 0 turns the block's
    // (DC, Nyquist) = (S, A) into (S - A, S + A). In time that adds (-A + (-1)^p S) / 2048 to
    // the delayed input at block position p.
    std::vector<double> h(2048, 0.0);
    std::fill(h.begin(), h.begin() + 1025, 1.0);
    FixedSpectrumFilter filter(h);
    filter.prepare(48000.0f);
    filter.reset();
    const std::vector<float> x = randomFloats(5120, 42u, 0.0f, 1.0f);   // non-zero mean
    const std::vector<float> y = processed(filter, x);

    for (std::size_t n = 1024; n < y.size(); ++n) {
        const std::size_t block = n / 1024 - 1;             // block step that produced y[n]
        const std::size_t p = 1024 + n % 1024;              // its position in that block
        double dc = 0.0, nyquist = 0.0;
        for (std::size_t q = 0; q < 2048; ++q) {
            const long t = static_cast<long>(1024 * block + q) - 1024;
            const double a = t >= 0 ? x[static_cast<std::size_t>(t)] : 0.0;
            dc += a;
            nyquist += (q % 2 == 0) ? a : -a;
        }
        const double expected = x[n - 1024] + (-nyquist + (p % 2 == 0 ? dc : -dc)) / 2048.0;
        ASSERT_NEAR(y[n], expected, 1e-6) << "n=" << n;
    }
    // The pairing is really visible: the mean of the stream is shifted.
    EXPECT_GT(std::fabs(y[3000] - x[3000 - 1024]), 1e-4);
}

// ---- Call sizes --------------------------------------------------------------------------------

class CFFTFilterCallSizes : public ::testing::TestWithParam<std::vector<std::int32_t>> {};

TEST_P(CFFTFilterCallSizes, AnySplitOfTheStreamGivesTheSameOutputAsOneCall)
{
    CFilterCoefficients table;
    table.setEntry(48000.0f, {}, randomFloats(700, 51u));
    const std::vector<float> x = randomFloats(20000, 52u);
    const std::vector<float> expected = processed(*tableFilter(&table), x);

    std::vector<float> y = x;
    processInBlocks(*tableFilter(&table), y, GetParam());
    ASSERT_EQ(std::memcmp(y.data(), expected.data(), y.size() * sizeof(float)), 0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, CFFTFilterCallSizes,
                         ::testing::Values(std::vector<std::int32_t>{1}, std::vector<std::int32_t>{100},
                                           std::vector<std::int32_t>{4096},
                                           std::vector<std::int32_t>{1, 7, 32, 513, 4096},
                                           std::vector<std::int32_t>{0, 1023, 0, 1, 2048, 3}));

TEST(CFFTFilter, CallWithCountZeroDesignsAndChangesNothingElse)
{
    CFilterCoefficients table;
    table.setEntry(48000.0f, {}, randomFloats(100, 61u));
    const std::vector<float> x = randomFloats(3000, 62u);
    const std::vector<float> expected = processed(*tableFilter(&table), x);

    const auto filter = tableFilter(&table);
    float untouched[4] = {1.0f, 2.0f, 3.0f, 4.0f};
    for (std::int32_t count : {0, -1, -1000}) {
        filter->process(untouched, count);
        EXPECT_EQ(filter->position, 1024) << "count " << count;
    }
    EXPECT_EQ(filter->designCalls, 1);
    EXPECT_EQ(untouched[0], 1.0f);
    EXPECT_EQ(untouched[3], 4.0f);
    EXPECT_EQ(processed(*filter, x), expected);
}

// ---- Lazy redesign -----------------------------------------------------------------------------

TEST(CFFTFilter, RedesignReusesTheTransformAndGivesTheSameSpectrumAsAFreshFilter)
{
    CFilterCoefficients table;
    table.setEntry(48000.0f, {}, randomFloats(500, 71u));
    table.setEntry(44100.0f, {}, randomFloats(500, 72u));
    float buffer[64] = {};
    const auto fresh = tableFilter(&table, false);
    fresh->process(buffer, 64);

    ProbeFilter reused;
    ASSERT_NE(reused.fft, nullptr) << "the transform is made at construction";
    const FFTReal* transform = reused.fft.get();
    reused.setCoefficients(&table);
    for (float rate : {44100.0f, 48000.0f, 44100.0f, 48000.0f}) {
        reused.prepare(rate);
        reused.process(buffer, 64);
        EXPECT_EQ(reused.fft.get(), transform);
    }
    EXPECT_EQ(std::memcmp(reused.spectrum, fresh->spectrum, sizeof fresh->spectrum), 0);
}

// ---- Missing responses -------------------------------------------------------------------------

// ---- The audio path allocates nothing ----------------------------------------------------------

struct AllocationCase {
    const char* name;
    std::function<std::unique_ptr<CFFTFilter>(CFilterCoefficients&)> make;
};

void PrintTo(const AllocationCase& c, std::ostream* os) { *os << c.name; }

class CFFTFilterAllocation : public ::testing::TestWithParam<AllocationCase> {};

TEST_P(CFFTFilterAllocation, ProcessIncludingARedesignAllocatesNothing)
{
    CFilterCoefficients table;
    table.setEntry(48000.0f, {}, randomFloats(800, 91u));
    table.setEntry(44100.0f, {}, randomFloats(800, 92u));
    MessageCapture messages;
    std::unique_ptr<CFFTFilter> filter = GetParam().make(table);   // construction may allocate
    std::vector<float> buffer = randomFloats(5000, 93u);

    // The first design with several block steps; a redesign after a reset; a rate absent from
    // the table (the message path).
    const struct {
        float rate;
        bool reset;
        std::int32_t count;
    } steps[] = {{48000.0f, false, 5000}, {44100.0f, true, 3000}, {96000.0f, false, 3000}};
    for (const auto& step : steps) {
        filter->prepare(step.rate);
        if (step.reset)
            filter->reset();
        AllocationScope scope;
        filter->process(buffer.data(), step.count);
        EXPECT_EQ(scope.count(), 0) << step.rate << " Hz";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Filters, CFFTFilterAllocation,
    ::testing::Values(
        AllocationCase{"TableDriven",
                       [](CFilterCoefficients& table) {
                           auto f = std::make_unique<CFFTFilter>();
                           f->setCoefficients(&table);
                           return f;
                       }},
        AllocationCase{"CoincidenceW",
                       [](CFilterCoefficients&) -> std::unique_ptr<CFFTFilter> {
                           return std::make_unique<CCoincidenceFilter>(0, 1.47f, 1.0f);
                       }},
        AllocationCase{"CoincidenceXYZ",
                       [](CFilterCoefficients&) -> std::unique_ptr<CFFTFilter> {
                           return std::make_unique<CCoincidenceFilter>(1, 2.3f, 1.0f);
                       }}),
    [](const ::testing::TestParamInfo<AllocationCase>& info) { return std::string(info.param.name); });

TEST(CFFTFilter, EightDesignedCoincidenceFiltersTakeLessThanTwoMegabytes)
{
    // One plug-in instance holds eight of them (the "1.47cm" and "2.3cm" sets).
    std::vector<std::unique_ptr<CCoincidenceFilter>> filters;
    filters.reserve(8);
    long bytes = 0;
    {
        AllocationScope scope;
        for (int i = 0; i < 8; ++i) {
            filters.push_back(std::make_unique<CCoincidenceFilter>(i % 4 == 0 ? 0 : 1,
                                                                   i < 4 ? 1.47f : 2.3f, 1.0f));
            filters.back()->prepare(48000.0f);
            float buffer[8] = {};
            filters.back()->process(buffer, 8);
        }
        bytes = scope.bytes();
    }
    EXPECT_GE(bytes, 8 * static_cast<long>(sizeof(CCoincidenceFilter)));
    EXPECT_LT(bytes, 2L * 1024 * 1024);
}

TEST(CFFTFilter, AllocationCounterSeesAllocations)
{
    // The counter itself must be able to fail the tests above.
    AllocationScope scope;
    auto* p = new std::vector<double>(100);
    delete p;
    EXPECT_GE(scope.count(), 2);
}

} // namespace
