// Fuzzes the text calibration reader: any file must leave a finite, terminated program and a
// complete filter set, and loads only the coefficient files under fuzz/data/fuzz.
#include "FuzzSupport.h"

#include "calibration/TextCalibration.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::discardMessages();
    std::FILE* file = fuzz::openInput(data, size);
    if (!file)
        return 0;

    FilterBank bank;
    // Now and then the bank is full, where no set may be made.
    const int firstSet = size % 7 == 6 ? 8 : 3;
    bank.count = static_cast<std::int16_t>(firstSet);
    ProgramRecord program = fuzz::userProgram();
    std::size_t diagnosticText = 0;
    const DiagnosticSink sink = [&](const Diagnostic& d) { diagnosticText += d.reason.size() + d.key.size(); };

    readTextCalibration(file, SONQUAD_FUZZ_DATA, "fuzz", program, bank, &sink, "fuzz.txt");
    std::fclose(file);

    fuzz::checkProgram(program);
    if (bank.count != firstSet + 1)
        fuzz::finding("the set count did not rise by one");
    if (firstSet < FilterBank::kSets && !bank.hasSet(firstSet))
        fuzz::finding("no filter set was made");
    if (firstSet >= FilterBank::kSets && program.value(param::kPostMatrixFilterNumber) != 0.0f)
        fuzz::finding("a full bank must give set \"None\"");
    fuzz::exerciseSet(bank, firstSet);
    return 0;
}
