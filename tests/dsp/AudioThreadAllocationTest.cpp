// The audio path allocates nothing: every process, and the per-block redesigns the plug-in runs
// on the audio thread (CLFFilter::update, CMitRegFilter::setParameters), run under an
// operator new counter.
#include "dsp/CABMatrix.h"
#include "dsp/CIIRFilter.h"
#include "dsp/CLFFilter.h"
#include "dsp/CMitRegFilter.h"
#include "dsp/CParaEQ2Band.h"
#include "dsp/CParaEQ3Band.h"

#include "dsp/CFilterCoefficients.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long> allocations{0};
}

// Out of line, so the compiler does not pair an inlined malloc with a free it cannot see.
[[gnu::noinline]] void* operator new(std::size_t size)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

TEST(AudioThread, ProcessesAndRedesignsWithoutAllocating)
{
    CFilterCoefficients table;
    table.setEntry(48000.0f, {-0.5f, 0.1f}, {0.3f, 0.2f, 0.1f});
    CIIRFilter iir;
    iir.setCoefficients(&table);
    iir.setSampleRate(48000.0f);
    CLFFilter lf(30.0f, 20.0f);
    CMitRegFilter eq;
    CParaEQ2Band para2(100.0f, 0.5f, 3.0f, 1000.0f, 0.5f, -3.0f, 1.0f);
    CParaEQ3Band para3(100.0f, 0.5f, 3.0f, 1000.0f, 0.5f, -3.0f, 8000.0f, 1.0f, 2.0f, -1.0f);
    CABMatrix matrix;
    float buffers[4][512] = {};
    buffers[0][0] = 1.0f;

    const long before = allocations.load();
    lf.cutFreq = 45.0f;
    lf.update();
    eq.setParameters(3000.0f, 2.0f, -6.0f);
    for (CFilter* f : std::initializer_list<CFilter*>{&iir, &lf, &eq, &para2, &para3})
        f->process(buffers[0], 512);
    matrix.process(buffers[0], buffers[1], buffers[2], buffers[3], 512);
    EXPECT_EQ(allocations.load() - before, 0);
}

} // namespace
