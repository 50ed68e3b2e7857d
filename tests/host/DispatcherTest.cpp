// The descriptor and every answer of the dispatcher, seen through the exported entry point.
#include "LoadedPlugin.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <string>

namespace {

VstIntPtr VSTCALLBACK refusingHost(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) { return 0; }

TEST(Entry, RefusesAHostThatDoesNotAnswerTheVersionQuery)
{
    EXPECT_EQ(testhost::module().entry()(refusingHost), nullptr);
    EXPECT_EQ(testhost::module().entry()(nullptr), nullptr);
}

TEST(Entry, IsAlsoExportedAsMain)
{
    auto alias = testhost::module().entryNamed("main");
    ASSERT_NE(alias, nullptr);
    AEffect* effect = alias(vsthost::defaultHostCallback);
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(effect->magic, 0x56737450);
    EXPECT_EQ(effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f), 1);
}

TEST(Descriptor, ReportsTheIdentityAndShapeOfThePlugin)
{
    auto plugin = testhost::createPlugin();
    const AEffect* e = plugin->effect();
    EXPECT_EQ(e->magic, 0x56737450);
    EXPECT_EQ(e->numPrograms, 8);
    EXPECT_EQ(e->numParams, 46);
    EXPECT_EQ(e->numInputs, 4);
    EXPECT_EQ(e->numOutputs, 4);
    EXPECT_EQ(e->flags & ~effFlagsHasEditor, effFlagsCanReplacing);   // no chunks, not a synth, no doubles
    EXPECT_EQ(e->initialDelay, 0);
    EXPECT_EQ(e->ioRatio, 1.0f);
    EXPECT_EQ(e->uniqueID, 0x536E7131);
    EXPECT_EQ(e->version, 1);
    EXPECT_EQ(e->resvd1, 0);
    EXPECT_EQ(e->resvd2, 0);
    EXPECT_NE(e->processReplacing, nullptr);
    EXPECT_NE(e->object, nullptr);
    for (char c : e->future)
        EXPECT_EQ(c, 0);
}

// What each opcode answers, and what it writes into a text buffer. Opcodes not listed answer 0
// and leave the buffer as it was.
struct Expected {
    VstIntPtr result;
    std::optional<std::string> text;   // nothing: the buffer stays untouched
};

const std::map<VstInt32, Expected>& expectedAnswers()
{
    static const std::map<VstInt32, Expected> table = {
        {effGetProgram, {0, {}}},
        {effGetProgramName, {0, "Quaddle - uncalibrated"}},
        {effGetParamLabel, {0, ""}},
        {effGetParamDisplay, {0, "Yes"}},        // program 0 has "LF Enabled" on
        {effGetParamName, {0, "LF Enabled"}},
        {effIdentify, {0x4E764566, {}}},
        {effCanBeAutomated, {1, {}}},
        {effGetPlugCategory, {7, {}}},
        {effGetEffectName, {1, "Sonquadrum"}},
        {effGetVendorString, {1, "Morlane"}},
        {effGetProductString, {1, "Sonquadrum"}},
        {effGetVendorVersion, {1800, {}}},
        {effGetVstVersion, {2400, {}}},
        {effGetCurrentMidiProgram, {-1, {}}},
    };
    return table;
}

TEST(Dispatcher, AnswersEveryOpcodeFrom0To100AsItsTableSays)
{
    auto plugin = testhost::createPlugin();
    // Opcodes that read a text from the host or write through its pointers get their own tests;
    // so do the editor's (13 to 19, 59 to 61), whose pointer is a window or a rectangle.
    const VstInt32 specialOpcodes[] = {effClose, effSetProgramName, effGetSpeakerArrangement, effCanDo};
    for (VstInt32 opcode = 0; opcode <= 100; ++opcode) {
        if (std::find(std::begin(specialOpcodes), std::end(specialOpcodes), opcode) != std::end(specialOpcodes))
            continue;
        if ((opcode >= effEditGetRect && opcode <= effEditIdle) || (opcode >= effEditKeyDown && opcode <= effSetEditKnobMode))
            continue;
        char buffer[256];
        std::memset(buffer, 0x5A, sizeof buffer);
        buffer[sizeof buffer - 1] = '\0';
        const VstIntPtr result = plugin->dispatch(opcode, 0, 0, buffer, 48000.0f);
        const auto found = expectedAnswers().find(opcode);
        const Expected expected = found != expectedAnswers().end() ? found->second : Expected {0, {}};
        EXPECT_EQ(result, expected.result) << "opcode " << opcode;
        if (expected.text) {
            EXPECT_STREQ(buffer, expected.text->c_str()) << "opcode " << opcode;
        } else {
            for (std::size_t k = 0; k + 1 < sizeof buffer; ++k)
                if (buffer[k] != 0x5A) {
                    ADD_FAILURE() << "opcode " << opcode << " wrote into the buffer at " << k;
                    break;
                }
        }
    }
}

TEST(Dispatcher, RoutesTheEditorOpcodesToTheEditorWithoutAWindowOpen)
{
    auto plugin = testhost::createPlugin();
    EXPECT_EQ(plugin->effect()->flags, 17);   // an editor and replacing processing
    ERect* rect = nullptr;
    EXPECT_EQ(plugin->dispatch(effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->bottom, 100);
    EXPECT_EQ(rect->right, 400);
    EXPECT_EQ(plugin->dispatch(effEditGetRect, 0, 0, nullptr), 0);
    // No window handle: nothing opens.
    EXPECT_EQ(plugin->dispatch(effEditOpen, 0, 0, nullptr), 0);
    // Closed: idle, close and keys do nothing and use no key.
    EXPECT_EQ(plugin->dispatch(effEditIdle), 0);
    EXPECT_EQ(plugin->dispatch(effEditClose), 0);
    EXPECT_EQ(plugin->dispatch(effEditKeyDown, 'a', 0, nullptr, 0.0f), 0);
    EXPECT_EQ(plugin->dispatch(effEditKeyUp, 'a', 0, nullptr, 0.0f), 0);
    EXPECT_EQ(plugin->dispatch(effEditKeyDown, 0, 4 /* Return */, nullptr, 0.0f), 0);
    // The drawing, mouse and key opcodes of old hosts are not used.
    for (VstInt32 opcode : {VstInt32 {effEditDraw}, VstInt32 {effEditMouse}, VstInt32 {effEditKey}})
        EXPECT_EQ(plugin->dispatch(opcode, 0, 0, nullptr), 0) << opcode;
    EXPECT_EQ(plugin->dispatch(effSetEditKnobMode, 0, 2), 1);
    EXPECT_EQ(plugin->programName(), "Quaddle - uncalibrated");
}

TEST(Dispatcher, AnswersNoCapabilityAndNoChunk)
{
    auto plugin = testhost::createPlugin();
    for (const char* capability : {"receiveVstMidiEvent", "sendVstEvents", "bypass", "", "plugAsChannelInsert"})
        EXPECT_EQ(plugin->dispatch(effCanDo, 0, 0, const_cast<char*>(capability)), 0) << capability;

    void* chunk = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(plugin->dispatch(effGetChunk, 0, 0, &chunk), 0);
    EXPECT_EQ(plugin->dispatch(effGetChunk, 1, 0, &chunk), 0);
    EXPECT_EQ(chunk, reinterpret_cast<void*>(0x1234));
    char data[16] = "whatever";
    EXPECT_EQ(plugin->dispatch(effSetChunk, 0, sizeof data, data), 0);
    EXPECT_EQ(plugin->programName(), "Quaddle - uncalibrated");
}

TEST(Dispatcher, WritesNullSpeakerArrangementsAndEchoesTheTotalSampleCount)
{
    auto plugin = testhost::createPlugin();
    void* input = reinterpret_cast<void*>(0x1);
    void* output = reinterpret_cast<void*>(0x2);
    EXPECT_EQ(plugin->dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&input), &output), 0);
    EXPECT_EQ(input, nullptr);
    EXPECT_EQ(output, nullptr);
    EXPECT_EQ(plugin->dispatch(effSetTotalSampleToProcess, 0, 123456), 123456);
    EXPECT_EQ(plugin->dispatch(effSetTotalSampleToProcess, 0, -7), -7);
}

TEST(Dispatcher, IgnoresProgramNumbersOutsideTheEightSlots)
{
    auto plugin = testhost::createPlugin();
    plugin->dispatch(effSetProgram, 0, 3);
    for (VstIntPtr bad : {VstIntPtr {8}, VstIntPtr {9}, VstIntPtr {-1}, VstIntPtr {1000}}) {
        EXPECT_EQ(plugin->dispatch(effSetProgram, 0, bad), 0);
        EXPECT_EQ(plugin->dispatch(effGetProgram), 3);
    }
}

TEST(Dispatcher, OffersNoProgramNameByIndex)
{
    auto plugin = testhost::createPlugin();
    char buffer[64];
    std::memset(buffer, 0x5A, sizeof buffer);
    EXPECT_EQ(plugin->dispatch(effGetProgramNameIndexed, 0, 1, buffer), 0);
    for (char c : buffer)
        ASSERT_EQ(c, 0x5A);
}

TEST(Dispatcher, CloseAnswersOneAndSurvivesTheLifecycleCallsBeforeIt)
{
    auto plugin = testhost::createPlugin();
    plugin->dispatch(effOpen);
    plugin->dispatch(effSetSampleRate, 0, 0, nullptr, 96000.0f);
    plugin->dispatch(effSetBlockSize, 0, 256);
    plugin->dispatch(effMainsChanged, 0, 1);
    plugin->dispatch(effMainsChanged, 0, 0);
    EXPECT_EQ(plugin->close(), 1);
}

} // namespace
