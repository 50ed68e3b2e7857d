// Fuzzes the OSC reader and the processor configuration reader: every field stays terminated and
// bounded, the program stays finite, and a set is either complete or not there at all.
#include "FuzzSupport.h"

#include "calibration/COSCFile.h"
#include "calibration/ProcessorConfiguration.h"

#include <memory>

namespace {

void readAllMessages(const std::uint8_t* data, std::size_t size)
{
    std::FILE* file = fuzz::openInput(data, size);
    if (!file)
        return;
    auto osc = std::make_unique<COSCFile>();
    osc->file = file;
    while (osc->readMessage()) {
        if (!std::memchr(osc->address, 0, sizeof osc->address) || !std::memchr(osc->typeTags, 0, sizeof osc->typeTags))
            fuzz::finding("an address or type-tag field is not terminated");
        if (osc->argumentCount() > COSCFile::kMaxArguments)
            fuzz::finding("more arguments than fields");
        for (int i = 0; i < osc->argumentCount(); ++i)
            if (osc->tag(i) == 's' && !std::memchr(osc->stringArgs[i], 0, sizeof osc->stringArgs[i]))
                fuzz::finding("a string field is not terminated");
    }
    std::fclose(file);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::discardMessages();
    readAllMessages(data, size);

    std::FILE* file = fuzz::openInput(data, size);
    if (!file)
        return 0;
    FilterBank bank;
    const int firstSet = size % 11 == 10 ? 8 : 3;
    bank.count = static_cast<std::int16_t>(firstSet);
    ProgramRecord program = fuzz::userProgram();
    // The version an earlier file of the scan may have left: none, or 1 to 3.
    int version = static_cast<int>(size % 4);
    std::size_t diagnosticText = 0;
    const DiagnosticSink sink = [&](const Diagnostic& d) { diagnosticText += d.reason.size() + d.key.size(); };

    const ScanStep step = readProcessorConfiguration(file, "fuzz", program, bank, version, &sink, "fuzz.sonq");
    std::fclose(file);

    fuzz::checkProgram(program);
    if (version < 0 || version > 3)
        fuzz::finding("a version outside 1..3 was kept");
    if (step == ScanStep::kEndScan) {
        if (bank.count != firstSet)
            fuzz::finding("a bad version still took a set number");
        for (int k = 0; k < FilterBank::kChannels && firstSet < FilterBank::kSets; ++k)
            if (bank.filter(firstSet, k))
                fuzz::finding("a bad version left part of a set");
    } else {
        if (bank.count != firstSet + 1)
            fuzz::finding("the set count did not rise by one");
        if (firstSet < FilterBank::kSets && !bank.hasSet(firstSet))
            fuzz::finding("no filter set was made");
        fuzz::exerciseSet(bank, firstSet);
    }
    return 0;
}
