// Messages raised where none may be shown: a program or set selection may come on the audio
// thread, so its "No filter found" messages wait for the next call on the host's own thread.
#include "plugin/ASonquad.h"
#include "support/TestSupport.h"

#include <filesystem>

namespace {

TEST(Messages, OfASelectionWaitForTheNextHostThreadCall)
{
    testsupport::TempFolder folder;   // a calibration with responses for 48 kHz only
    for (const char* name : {"Partial.txt", "Partial"})
        std::filesystem::copy(SONQUAD_TEST_DATA "/golden/" + std::string(name), folder / name,
                              std::filesystem::copy_options::recursive);
    testsupport::ScopedEnv calibrations("SONQUAD_CALIBRATION_DIR", folder.str());
    testsupport::MessageCapture messages;
    ASonquad plugin(nullptr);
    int partial = 0;
    for (char name[kVstMaxProgNameLen + 1] = {}; plugin.setProgram(partial), plugin.getProgramName(name), std::string(name) != "Partial";)
        ASSERT_LT(++partial, 8);
    plugin.setSampleRate(44100.0f);
    const char* const events[] = {"idle", "suspend", "resume", "rate change"};
    for (int event = 0; event < 4; ++event) {
        SCOPED_TRACE(events[event]);
        plugin.setProgram(0);
        messages.texts.clear();
        plugin.setProgram(partial);   // the calibration's own set lacks both arrays at 44.1 kHz
        EXPECT_TRUE(messages.texts.empty());
        if (event == 3)
            plugin.setSampleRate(44100.0f);
        else
            plugin.dispatcher(event == 0 ? effIdle : effMainsChanged, 0, event == 2, nullptr, 0.0f);
        // Once per missing array of the set's four filters; a rate change re-rates the selected
        // set and says so once more.
        EXPECT_EQ(messages.texts.size(), event == 3 ? 16u : 8u);
        for (const auto& text : messages.texts)
            EXPECT_EQ(text, "No filter found for sampling rate  44100");
    }
}

} // namespace
