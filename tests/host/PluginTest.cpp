// The plug-in through its exported entry: descriptor, dispatcher answers by literal opcode number,
// a golden table of parameter names, labels and displays, programs, the processing call.
#include "LoadedPlugin.h"
#include "support/TestSupport.h"

#include <cstring>
#include <map>
#include <optional>
#include <xmmintrin.h>

namespace {

using testsupport::Buffers;

VstIntPtr VSTCALLBACK refusingHost(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) { return 0; }
// Answers only the version query, by its number in the VST 2.4 ABI.
VstIntPtr VSTCALLBACK literalHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) { return opcode == 1 ? 2400 : 0; }

TEST(Entry, RefusesAHostWithoutVersionAndDescribesThePlugin)
{
    EXPECT_EQ(testhost::module().entry()(refusingHost), nullptr);
    EXPECT_EQ(testhost::module().entry()(nullptr), nullptr);
    auto plugin = vsthost::PluginInstance::create(testhost::module(), literalHost);
    ASSERT_NE(plugin, nullptr);
    const AEffect* e = plugin->effect();
    // Magic, programs, parameters, inputs, outputs; flags: an editor and replacing processing only.
    EXPECT_EQ(std::vector<VstInt32>({e->magic, e->numPrograms, e->numParams, e->numInputs, e->numOutputs, e->flags}),
              std::vector<VstInt32>({0x56737450, 8, 46, 4, 4, 17}));
    EXPECT_EQ(std::vector<VstInt32>({e->initialDelay, e->uniqueID, e->version, VstInt32(e->resvd1 | e->resvd2)}),
              std::vector<VstInt32>({0, 0x536E7131, 1, 0}));
    EXPECT_EQ(e->ioRatio, 1.0f);
    EXPECT_EQ(std::string(e->future, sizeof e->future), std::string(sizeof e->future, '\0'));
    AEffect* alias = testhost::module().entryNamed("main")(vsthost::defaultHostCallback);   // old hosts' name
    ASSERT_NE(alias, nullptr);
    EXPECT_EQ(alias->dispatcher(alias, 1 /* close */, 0, 0, nullptr, 0.0f), 1);
}

// Opcodes 0 to 100 by their numbers in the VST 2.4 ABI: the answer and the text written (none for
// opcodes not listed). Those whose pointer is not a text buffer are checked after the loop.
TEST(Dispatcher, AnswersEveryOpcodeAsItsTableSays)
{
    const std::map<VstInt32, std::pair<VstIntPtr, std::optional<std::string>>> table = {
        {3, {0, {}}},          {5, {0, "Quaddle - uncalibrated"}}, {6, {0, ""}},           {7, {0, "Yes"}},
        {8, {0, "LF Enabled"}}, {22, {0x4E764566, {}}},             {26, {1, {}}},          {35, {7, {}}},
        {45, {1, "Sonquadrum"}}, {47, {1, "Morlane"}},              {48, {1, "Sonquadrum"}}, {49, {1800, {}}},
        {58, {2400, {}}},      {63, {-1, {}}},                      {73, {48000, {}}}};
    auto plugin = testhost::createPlugin();
    for (VstInt32 opcode = 0; opcode <= 100; ++opcode) {
        if (opcode == 1 || opcode == 4 || (opcode >= 13 && opcode <= 19) || opcode == 51 || (opcode >= 59 && opcode <= 61) || opcode == 69)
            continue;
        char buffer[256];
        std::memset(buffer, 0x5A, sizeof buffer - 1);
        buffer[sizeof buffer - 1] = '\0';
        const auto found = table.find(opcode);
        const auto expected = found != table.end() ? found->second : std::pair<VstIntPtr, std::optional<std::string>> {0, {}};
        EXPECT_EQ(plugin->dispatch(opcode, 0, opcode == 73 ? 48000 : 0, buffer, 48000.0f), expected.first) << "opcode " << opcode;
        EXPECT_EQ(std::string(buffer), expected.second.value_or(std::string(255, 'Z'))) << "opcode " << opcode;
    }
    for (const char* capability : {"receiveVstMidiEvent", "bypass", "", "plugAsChannelInsert"})
        EXPECT_EQ(plugin->dispatch(51, 0, 0, const_cast<char*>(capability)), 0) << capability;
    void* arrangements[2] = {&plugin, &plugin};
    EXPECT_EQ(plugin->dispatch(69, 0, reinterpret_cast<VstIntPtr>(&arrangements[0]), &arrangements[1]), 0);
    EXPECT_TRUE(arrangements[0] == nullptr && arrangements[1] == nullptr);
}


const char* const kNames[46] = {
    "LF Enabled", "LF Cut Freq", "LF Boost Freq", "Locked", "Calibration", "PreMatrix Filter Number",
    "PostMatrix Filter Number", "EQs Enabled", "EQs Linked", "Gains Linked", "AB Matrix Enabled", "Current Capsule",
    "View Mode", "Display VU",
    "Cap 1 EQ Freq", "Cap 1 EQ Width", "Cap 1 EQ Gain", "Cap 1 Out 1 Gain", "Cap 1 Out 2 Gain", "Cap 1 Out 3 Gain", "Cap 1 Out 4 Gain",
    "Cap 2 EQ Freq", "Cap 2 EQ Width", "Cap 2 EQ Gain", "Cap 2 Out 1 Gain", "Cap 2 Out 2 Gain", "Cap 2 Out 3 Gain", "Cap 2 Out 4 Gain",
    "Cap 3 EQ Freq", "Cap 3 EQ Width", "Cap 3 EQ Gain", "Cap 3 Out 1 Gain", "Cap 3 Out 2 Gain", "Cap 3 Out 3 Gain", "Cap 3 Out 4 Gain",
    "Cap 4 EQ Freq", "Cap 4 EQ Width", "Cap 4 EQ Gain", "Cap 4 Out 1 Gain", "Cap 4 Out 2 Gain", "Cap 4 Out 3 Gain", "Cap 4 Out 4 Gain",
    "Output 1 Gain", "Output 2 Gain", "Output 3 Gain", "Output 4 Gain"};
// Labels by parameter: the three LF and the capsule columns repeat, then the outputs.
std::string labelOf(int p)
{
    static const char* const capsule[7] = {"Hz", "Octaves", "dB", "dB", "dB", "dB", "dB"};
    return p == 1 || p == 2 ? "Hz" : p < 14 ? "" : p >= 42 ? "dB" : capsule[(p - 14) % 7];
}

TEST(Parameters, HaveTheirNamesLabelsAndTheDisplaysOfTheirRealValues)
{
    auto plugin = testhost::createPlugin();
    for (int p = 0; p < 46; ++p) {
        EXPECT_EQ(plugin->parameterName(p), kNames[p]) << p;
        EXPECT_EQ(plugin->parameterLabel(p), labelOf(p)) << p;
    }
    struct Row {
        int parameter;
        float value;
        const char* text;
    };
    const Row rows[] = {
        {1, 0.0f, " 20.0"},   {1, 0.5f, " 70.7"},  {2, 1.0f, "250.0"},   {14, 0.5f, "632.5"}, {35, 0.0f, " 20.0"},
        {15, 1.0f, "  5.0"},  {36, 0.1f, "  0.5"}, {16, 0.5f, "  0.0"},  {37, 0.1f, "-12.0"}, {17, 1.0f, " 12.0"},
        {41, 0.0f, "-12.0"},  {20, 0.75f, "  6.0"}, {42, 0.0f, "-15.0"}, {45, 1.0f, " 15.0"}, {0, 0.5f, "No"},
        {0, 0.5001f, "Yes"},  {3, 0.0f, "No"},     {13, 1.0f, "Yes"},    {11, 0.0f, " 1"},    {11, 0.999f, " 3"},
        {11, 1.0f, " 4"},      {11, 1.0e7f, "1000001"},     {12, 0.5f, " 2"},    {12, 1.0f, " 3"},     {12, 0.99f, " 2"},   {6, 0.15f, "1.47cm"},
        {6, 0.3f, "2.3cm"}, {6, 0.99f, "2.3cm"}, {5, 0.15f, "None"}, {5, NAN, "None"},
    };
    plugin->dispatch(2, 0, 2);   // a "User" program
    for (const Row& r : rows) {
        plugin->setParameter(r.parameter, r.value);
        EXPECT_EQ(plugin->parameterDisplay(r.parameter), r.text) << r.parameter << " at " << r.value;
    }
    EXPECT_FLOAT_EQ(plugin->getParameter(6), 0.99f) << "an absent set is stored, not selected";
    for (VstInt32 p : {-1, 46, 1000}) {
        plugin->setParameter(p, 0.7f);
        EXPECT_EQ(plugin->getParameter(p), 0.0f);
        for (VstInt32 opcode : {6, 7, 8}) {
            char buffer[8] = "ZZZZZZZ";
            plugin->dispatch(opcode, p, 0, buffer);
            EXPECT_STREQ(buffer, "ZZZZZZZ") << "opcode " << opcode << ", parameter " << p;
        }
    }
}

// EQs Linked copies an EQ setting to all capsules; Gains Linked copies a capsule's setting to its gain into W.
TEST(Parameters, LinkEqSettingsAcrossCapsulesAndGainsIntoW)
{
    auto plugin = testhost::createPlugin();
    plugin->dispatch(2, 0, 2);
    for (auto [p, v] : std::vector<std::pair<int, float>> {{8, 1.0f}, {28, 0.3f}, {32, 0.9f}})   // linked, Cap 3 EQ Freq, Cap 3 Out 2 Gain
        plugin->setParameter(p, v);
    for (int p : {14, 21, 28, 35})
        EXPECT_EQ(plugin->getParameter(p), 0.3f) << p;
    for (int p : {18, 25, 39})
        EXPECT_EQ(plugin->getParameter(p), 0.5f) << p;
    for (auto [p, v] : std::vector<std::pair<int, float>> {{8, 0.0f}, {9, 1.0f}, {23, 0.8f}})   // gains linked, Cap 2 EQ Gain
        plugin->setParameter(p, v);
    EXPECT_EQ(plugin->getParameter(24), 0.8f);
    EXPECT_EQ(plugin->parameterDisplay(24), "  7.2");
    EXPECT_EQ(plugin->getParameter(17), 0.5f);
    EXPECT_EQ(plugin->getParameter(22), 0.0f);
}


TEST(Programs, AreTheBuiltInOnesAndUserSlotsWithTheirValuesInRange)
{
    auto plugin = testhost::createPlugin();
    const char* names[8] = {"Quaddle - uncalibrated", "1.47cm", "User 2", "User 3", "User 4", "User 5", "User 6", "User 7"};
    // LF Enabled, LF Cut and Boost displays, PostMatrix set, W gain display of the built-in programs.
    const char* builtIn[2][5] = {{"Yes", " 25.0", "150.0", "2.3cm", " -8.0"}, {"Yes", " 30.0", " 50.0", "1.47cm", " -4.8"}};
    for (int program = 0; program < 8; ++program) {
        plugin->dispatch(2, 0, program);
        EXPECT_EQ(plugin->dispatch(3), program);
        EXPECT_EQ(plugin->programName(), names[program]);
        for (int p = 0; p < 46; ++p) {
            const float v = plugin->getParameter(p);
            EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << "program " << program << ", parameter " << p << ": " << v;
            const bool gain = (p >= 16 && p <= 41 && (p - 14) % 7 >= 2) || p >= 42;   // user: the record defaults
            EXPECT_TRUE(program < 2 || v == (p == 1 || p == 10 ? 1.0f : gain ? 0.5f : 0.0f)) << "program " << program << ", parameter " << p;
        }
        for (int i = 0; i < 5 && program < 2; ++i)
            EXPECT_EQ(plugin->parameterDisplay(std::vector<int> {0, 1, 2, 6, 42}[i]), builtIn[program][i]) << program;
    }
    for (VstIntPtr bad : {8, -1, 1000}) {
        plugin->dispatch(2, 0, bad);
        EXPECT_EQ(plugin->dispatch(3), 7);
    }
}

// Values stay in their program except the live Calibration (4) and Display VU (13); a stored
// EQs Linked spreads capsule 1's EQ when the program is selected.
TEST(Programs, KeepTheirEditsAcrossSelection)
{
    auto plugin = testhost::createPlugin();
    plugin->dispatch(2, 0, 3);
    for (int p = 0; p < 46; ++p)
        plugin->setParameter(p, 0.01f * static_cast<float>(p + 1));
    plugin->dispatch(2, 0, 4);
    for (auto [p, v] : std::vector<std::pair<int, float>> {{4, 0.9f}, {13, 0.8f}, {35, 0.7f}, {8, 1.0f}})
        plugin->setParameter(p, v);
    plugin->dispatch(2, 0, 3);
    for (int p = 0; p < 46; ++p)
        EXPECT_EQ(plugin->getParameter(p), p == 4 ? 0.9f : p == 13 ? 0.8f : 0.01f * static_cast<float>(p + 1)) << p;
    plugin->dispatch(2, 0, 4);
    EXPECT_EQ(plugin->getParameter(35), 0.0f) << "capsule 1's EQ spread over the others";
}

TEST(Programs, NamesAreCutTo23CharactersAndInitIsNumbered)
{
    auto plugin = testhost::createPlugin();
    plugin->dispatch(2, 0, 5);
    for (std::string name : {"Init", "Init 6", "init", "A very long program name of forty chars"}) {
        plugin->dispatch(4, 0, 0, name.data());
        EXPECT_EQ(plugin->programName(), name == "Init" ? "Init 6" : name.substr(0, 23));
    }
    plugin->dispatch(2, 0, 4);
    EXPECT_EQ(plugin->programName(), "User 4");
}


// A "User" program at the record defaults with the LF off: the matrix at 0 dB.
std::unique_ptr<vsthost::PluginInstance> matrixOnly()
{
    auto plugin = testhost::createPlugin();
    plugin->dispatch(2, 0, 2);
    plugin->setParameter(0, 0.0f);
    return plugin;
}

// The matrix at 0 dB; empty blocks touch nothing; denormals are flushed while processing (a denormal
// A gives X = 0) and the host's modes come back (bits 0 to 5 are sticky exception flags).
TEST(Pipeline, FormsTheBFormatSumsAndDifferencesAndFlushesDenormals)
{
    auto plugin = matrixOnly();
    const Buffers input = testsupport::noise4(1000, 11);
    Buffers output = input;
    plugin->processReplacing(output, 0, 0);
    plugin->processReplacing(output, 0, -5);
    EXPECT_TRUE(testsupport::bitIdentical(output, input));
    plugin->processReplacing(output, 0, 1000);
    for (std::size_t n = 0; n < 1000; ++n) {
        const double a = input[0][n], b = input[1][n], c = input[2][n], d = input[3][n];
        ASSERT_NEAR(output[0][n], (a + b + c + d) / std::sqrt(2.0), 1e-6);
        ASSERT_NEAR(output[1][n], a + b - c - d, 1e-6);
        ASSERT_NEAR(output[2][n], a - b + c - d, 1e-6);
        ASSERT_NEAR(output[3][n], a - b - c + d, 1e-6);
    }
    const unsigned hostModes = _mm_getcsr();
    ASSERT_EQ(hostModes & 0x8040u, 0u) << "the test host should run without FTZ/DAZ";
    Buffers buffers(4, std::vector<float>(16, 0.0f));
    buffers[0][0] = 1.0e-39f;
    plugin->processReplacing(buffers, 0, 16);
    EXPECT_EQ(buffers[1][0], 0.0f);
    EXPECT_EQ(_mm_getcsr() & ~0x3Fu, hostModes & ~0x3Fu);
}

} // namespace
