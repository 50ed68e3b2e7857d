// Fuzzes the coefficient-file loader: any file leaves entries of 0 to 1024 values, and an IIR
// filter given the table runs a block without touching anything outside its arrays.
#include "FuzzSupport.h"

#include "calibration/CoefficientFile.h"
#include "dsp/CFilterCoefficients.h"
#include "dsp/CIIRFilter.h"

#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

// A folder of this process for the files under test, in memory where the system offers it;
// its path names no rate.
const std::string& workFolder()
{
    static const std::string folder = [] {
        char inMemory[] = "/dev/shm/sonquad-fuzz-XXXXXX";
        char onDisk[] = "/tmp/sonquad-fuzz-XXXXXX";
        const char* made = mkdtemp(inMemory);
        if (!made)
            made = mkdtemp(onDisk);
        if (!made)
            fuzz::finding("cannot make a work folder");
        return std::string(made);
    }();
    return folder;
}

void writeFile(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        fuzz::finding("cannot write the input file");
    if (size > 0)
        std::fwrite(data, 1, size, file);
    std::fclose(file);
}

void checkEntry(CFilterCoefficients& table, float rate)
{
    for (std::int32_t length : {table.numeratorLength(rate), table.denominatorLength(rate)})
        if (length < 0 || length > CFilterCoefficients::kMaxLength)
            fuzz::finding("a coefficient length outside 0..1024");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::discardMessages();
    const std::string w48 = workFolder() + "/coefficients_W48.flt";
    const std::string vel96 = workFolder() + "/coefficients_Vel96.flt";
    writeFile(w48, data, size);
    writeFile(vel96, data, size);

    auto table = std::make_unique<CFilterCoefficients>();
    loadCoefficientFile(*table, w48.c_str());
    loadCoefficientFile(*table, vel96.c_str());
    loadCoefficientFile(*table, w48.c_str());   // the same rate again replaces the entry
    if (table->size() != 2)
        fuzz::finding("the table does not hold exactly the two rates loaded");
    checkEntry(*table, 48000.0f);
    checkEntry(*table, 96000.0f);

    CIIRFilter filter;
    filter.setCoefficients(table.get());
    float block[256];
    for (float rate : {48000.0f, 96000.0f, 44100.0f}) {
        filter.setSampleRate(rate);
        filter.reset();
        for (int n = 0; n < 256; ++n)
            block[n] = n == 0 ? 1.0f : 0.0f;
        filter.process(block, 256);
    }
    return 0;
}
