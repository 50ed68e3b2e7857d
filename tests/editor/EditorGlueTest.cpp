// The editor glue and the plug-in's editor, in-process over the fake window system: the rectangle,
// open and close, the field following the current program, renaming, key and wheel forwarding,
// the knob mode, the edit gestures, and the timing of idling while the mouse is tracked (with an
// injected clock: no test sleeps).
#include "gui/FakeWindow.h"

#include "editor/ASnqEditor.h"
#include "gui/CBitmap.h"
#include "gui/CTextEdit.h"
#include "module/ASonquadEdit.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void* const kParent = reinterpret_cast<void*>(0x4242);

// What the plug-in asked of its host.
struct HostLog {
    std::vector<std::pair<VstInt32, VstInt32>> calls;   // opcode, index
    AEffEditor* editorToIdle = nullptr;                 // idled from inside audioMasterIdle
    int frameIdlesInsideMasterIdle = -1;                // the fake window's event pumps seen there
};
HostLog hostLog;

VstIntPtr VSTCALLBACK loggingHost(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float)
{
    if (opcode == audioMasterVersion)
        return kVstVersion;
    hostLog.calls.emplace_back(opcode, index);
    if (opcode == audioMasterIdle && hostLog.editorToIdle) {
        // Hosts commonly idle their editors from their idle: the frame must not idle again.
        const int before = fake::Window::latest() ? fake::Window::latest()->eventPumps : 0;
        hostLog.editorToIdle->idle();
        hostLog.frameIdlesInsideMasterIdle = (fake::Window::latest() ? fake::Window::latest()->eventPumps : 0) - before;
    }
    return 1;
}

int count(VstInt32 opcode)
{
    int n = 0;
    for (const auto& call : hostLog.calls)
        n += call.first == opcode;
    return n;
}

class EditorGlue : public testing::Test {
protected:
    void SetUp() override
    {
        // No calibration folder of the machine enters the plug-in.
        setenv("SONQUAD_CALIBRATION_DIR", "/nonexistent/sonquad-editor-tests", 1);
        hostLog = {};
        plugin = std::make_unique<ASonquadEdit>(&loggingHost);
        editor = static_cast<ASnqEditor*>(plugin->getEditor());
        ASSERT_NE(editor, nullptr);
    }

    std::string programName()
    {
        char name[64] = {};
        plugin->getProgramName(name);
        return name;
    }

    fake::Install fakeWindows;
    std::unique_ptr<ASonquadEdit> plugin;
    ASnqEditor* editor = nullptr;
};

// The descriptor's editor flag and the rectangle before any open are checked through the
// exported interface (tests/host); here the rectangle after an open and close.
TEST_F(EditorGlue, BelongsToThePluginAndReportsTheBackgroundsRectangleAfterOpening)
{
    EXPECT_EQ(editor->getEffect(), plugin.get());
    ASSERT_TRUE(editor->open(kParent));
    editor->close();
    ERect* rect = nullptr;
    ASSERT_TRUE(editor->getRect(&rect));
    EXPECT_EQ((CRect {rect->left, rect->top, rect->right, rect->bottom}), (CRect {0, 0, 400, 100}));
}

TEST_F(EditorGlue, OpensAFrameOfTheBackgroundsSizeWithTheFieldWhereItBelongs)
{
    ASSERT_TRUE(editor->open(kParent));
    EXPECT_TRUE(editor->isOpen());
    fake::Window* window = fake::Window::latest();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->parent, kParent);
    EXPECT_EQ(window->size, (CRect {0, 0, 400, 100}));
    CFrame* frame = editor->getFrame();
    ASSERT_NE(frame->getBackground(), nullptr);
    EXPECT_EQ(frame->getBackground()->getWidth(), 400);
    EXPECT_EQ(frame->getBackground()->getHeight(), 100);
    ASSERT_EQ(frame->getNbViews(), 1);
    CTextEdit* field = editor->getTextField();
    ASSERT_EQ(frame->getView(0), field);
    EXPECT_EQ(field->getViewSize(), (CRect {72, 53, 215, 68}));
    // Red 149, green 111, blue 42, alpha 0: packed with red in the low byte, 0x002A6F95.
    EXPECT_EQ(field->getBackColor().packed(), 0x002A6F95u);
    EXPECT_EQ(field->getFrameColor().packed(), 2781077u);
    EXPECT_EQ(field->getFontColor(), kWhiteCColor);
}

TEST_F(EditorGlue, TheFieldShowsTheCurrentProgramsDisplayNameAfterTheNextIdle)
{
    ASSERT_TRUE(editor->open(kParent));
    EXPECT_EQ(editor->getTextField()->getText(), "");
    plugin->setProgram(2);
    char init[] = "Init";
    plugin->setProgramName(init);
    editor->idle();
    EXPECT_EQ(editor->getTextField()->getText(), "Init 3");
    EXPECT_EQ(fake::Window::latest()->lastTexts(), std::vector<std::string> {"Init 3"});
    plugin->setProgram(1);
    editor->idle();
    EXPECT_EQ(editor->getTextField()->getText(), "1.47cm");
}

TEST_F(EditorGlue, AFinishedEditRenamesTheProgramToItsFirst23CharactersAndRedrawsTheFrame)
{
    ASSERT_TRUE(editor->open(kParent));
    editor->idle();
    fake::Window* window = fake::Window::latest();
    const std::string typed(40, 'n');
    editor->getTextField()->setText(typed.c_str());
    editor->valueChanged(nullptr, editor->getTextField());
    EXPECT_EQ(programName(), std::string(23, 'n'));
    editor->idle();
    EXPECT_EQ(window->drawings.back().area, (CRect {0, 0, 400, 100}));
    EXPECT_EQ(editor->getTextField()->getText(), std::string(23, 'n'));
}

TEST_F(EditorGlue, ValueChangedFromAnotherControlAndIdleWhileClosedChangeNothing)
{
    CTextEdit stray({0, 0, 10, 10}, editor);
    stray.setText("Stray");
    editor->valueChanged(nullptr, &stray);
    editor->idle();
    EXPECT_EQ(fake::Window::latest(), nullptr);
    ASSERT_TRUE(editor->open(kParent));
    editor->valueChanged(nullptr, &stray);
    EXPECT_EQ(programName(), "Quaddle - uncalibrated");
    editor->close();
    const int destroyed = fake::Window::destroyedCount();
    plugin->setProgram(4);
    editor->idle();
    editor->idle();
    EXPECT_EQ(editor->getTextField(), nullptr);
    EXPECT_EQ(editor->getFrame(), nullptr);
    EXPECT_EQ(fake::Window::destroyedCount(), destroyed);
    EXPECT_EQ(programName(), "User 4");
}

TEST_F(EditorGlue, ARefusedWindowLeavesTheEditorClosed)
{
    EXPECT_FALSE(editor->open(fake::Window::refusedParent()));
    EXPECT_FALSE(editor->isOpen());
    EXPECT_EQ(editor->getFrame(), nullptr);
    editor->idle();
    VstKeyCode key {};
    key.character = 'a';
    EXPECT_FALSE(editor->onKeyDown(key));
}

TEST_F(EditorGlue, CloseKeepsTheSystemWindowReopeningMakesANewFrameAndDeletionDestroysIt)
{
    ASSERT_TRUE(editor->open(kParent));
    const int destroyed = fake::Window::destroyedCount();
    editor->close();
    EXPECT_EQ(fake::Window::destroyedCount(), destroyed + 1);
    EXPECT_TRUE(editor->isOpen()) << "close leaves the system window as it was";
    ASSERT_TRUE(editor->open(kParent));
    EXPECT_NE(editor->getTextField(), nullptr);
    editor->idle();
    EXPECT_EQ(editor->getTextField()->getText(), "Quaddle - uncalibrated");

    // Deleting the plug-in with the editor open destroys the window.
    plugin.reset();
    EXPECT_EQ(fake::Window::destroyedCount(), destroyed + 2);
}

TEST_F(EditorGlue, ForwardsKeysToTheFrameOnlyWhileOpen)
{
    VstKeyCode key {};
    key.character = 'k';
    EXPECT_FALSE(editor->onKeyDown(key));
    EXPECT_FALSE(editor->onKeyUp(key));
    ASSERT_TRUE(editor->open(kParent));
    EXPECT_FALSE(editor->onKeyDown(key)) << "no edit in progress";
    fake::Window::latest()->events.windowMouseDown({100, 60}, kLButton);
    EXPECT_TRUE(editor->onKeyDown(key));
    EXPECT_TRUE(editor->onKeyUp(key));
    key = {};
    key.virt = VKEY_RETURN;
    EXPECT_TRUE(editor->onKeyDown(key));
    EXPECT_EQ(programName(), "k");
}

// A key from the host (index the character, value the virtual key, opt the modifier bits) reaches
// the toolkit with all three: Control-A selects the whole name again instead of typing an "a".
TEST_F(EditorGlue, HostKeysReachTheFieldWithTheirVirtualKeyAndModifiers)
{
    ASSERT_TRUE(editor->open(kParent));
    editor->idle();   // the field shows "Quaddle - uncalibrated"
    fake::Window::latest()->events.windowMouseDown({100, 60}, kLButton);
    const auto keyDown = [&](VstInt32 character, VstIntPtr virtualKey, float modifiers) {
        return plugin->dispatcher(effEditKeyDown, character, virtualKey, nullptr, modifiers);
    };
    EXPECT_EQ(keyDown(0, VKEY_END, 0), 1);
    EXPECT_EQ(keyDown('a', 0, MODIFIER_CONTROL), 1);
    EXPECT_EQ(keyDown('z', 0, 0), 1);
    EXPECT_EQ(keyDown(0, VKEY_RETURN, 0), 1);
    EXPECT_EQ(programName(), "z");
}

// A view that takes the wheel and notes where.
class WheelProbe : public CView {
public:
    WheelProbe() : CView({0, 0, 60, 40}) {}
    bool onWheel(CPoint where, float distance) override
    {
        turns.push_back({where, distance});
        return true;
    }
    std::vector<std::pair<CPoint, float>> turns;
};

TEST_F(EditorGlue, TurnsTheWheelAtTheMousePositionRelativeToTheWindow)
{
    EXPECT_FALSE(editor->onWheel(1.0f));
    ASSERT_TRUE(editor->open(kParent));
    auto* probe = new WheelProbe;
    editor->getFrame()->addView(probe);
    fake::Window::latest()->cursor = {30, 20};
    EXPECT_TRUE(editor->onWheel(-2.0f));
    ASSERT_EQ(probe->turns.size(), 1u);
    EXPECT_EQ(probe->turns[0].first, (CPoint {30, 20}));
    EXPECT_EQ(probe->turns[0].second, -2.0f);
    fake::Window::latest()->cursor = {300, 80};   // over nothing that takes the wheel
    EXPECT_FALSE(editor->onWheel(1.0f));
}

TEST_F(EditorGlue, StoresTheKnobModeForTheWholeModule)
{
    for (VstInt32 mode : {1, 2, 0}) {
        EXPECT_TRUE(editor->setKnobMode(mode));
        EXPECT_EQ(CFrame::getKnobMode(), mode);
    }
}

TEST_F(EditorGlue, ForwardsEditGesturesToTheHost)
{
    EXPECT_TRUE(editor->beginEdit(7));
    EXPECT_TRUE(editor->endEdit(7));
    ASSERT_EQ(hostLog.calls.size(), 2u);
    EXPECT_EQ(hostLog.calls[0], std::make_pair(VstInt32 {audioMasterBeginEdit}, VstInt32 {7}));
    EXPECT_EQ(hostLog.calls[1], std::make_pair(VstInt32 {audioMasterEndEdit}, VstInt32 {7}));
    editor->setParameter(3, 0.5f);   // nothing to show

    // The program name is no parameter: editing it sends no gestures.
    ASSERT_TRUE(editor->open(kParent));
    fake::Window::latest()->events.windowMouseDown({100, 60}, kLButton);
    VstKeyCode enter {};
    enter.virt = VKEY_RETURN;
    editor->onKeyDown(enter);
    EXPECT_EQ(hostLog.calls.size(), 2u);
}

// A clock a test sets; pauses advance it.
class FakeClock : public EditorClock {
public:
    std::uint32_t now() override { return time; }
    void pause(unsigned milliseconds) override
    {
        pauses.push_back(milliseconds);
        time += milliseconds;
    }
    std::uint32_t time = 0;
    std::vector<unsigned> pauses;
};

// An editor whose idle calls are counted.
class CountingEditor : public AEffGUIEditor {
public:
    CountingEditor(AudioEffect* effect, EditorClock& clock) : AEffGUIEditor(effect, clock) {}
    void idle() override
    {
        ++idles;
        AEffGUIEditor::idle();
    }
    int idles = 0;
};

struct TrackingCall {
    std::uint32_t at;       // clock at the call
    bool paused;            // paused 4 ms
    bool idled;             // idled the editor and the host
};

struct TrackingCase {
    const char* description;
    std::uint32_t createdAt;          // clock when the editor was made: the first next idle time
    std::vector<TrackingCall> calls;
};

struct PlainEffect : AudioEffect {
    PlainEffect() : AudioEffect(&loggingHost, 1, 1) {}
};

class IdleDuringTracking : public testing::TestWithParam<TrackingCase> {};

TEST_P(IdleDuringTracking, PausesAndIdlesByTheNextIdleTime)
{
    const TrackingCase& c = GetParam();
    hostLog = {};
    FakeClock clock;
    clock.time = c.createdAt;
    PlainEffect effect;   // owns the editor
    auto* editor = new CountingEditor(&effect, clock);
    for (std::size_t i = 0; i < c.calls.size(); ++i) {
        const TrackingCall& call = c.calls[i];
        clock.time = call.at;
        clock.pauses.clear();
        const int idlesBefore = editor->idles;
        const int hostIdlesBefore = count(audioMasterIdle);
        editor->idleDuringTracking();
        EXPECT_EQ(clock.pauses, call.paused ? std::vector<unsigned> {4} : std::vector<unsigned> {})
            << c.description << ", call " << i;
        EXPECT_EQ(editor->idles - idlesBefore, call.idled ? 1 : 0) << c.description << ", call " << i;
        EXPECT_EQ(count(audioMasterIdle) - hostIdlesBefore, call.idled ? 1 : 0) << c.description << ", call " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Timing, IdleDuringTracking,
    testing::Values(
        TrackingCase {"the first call at the construction time idles at once", 1000, {{1000, false, true}}},
        TrackingCase {"a second call within 100 ms, more than 54 ms early, pauses and returns", 1000,
                      {{1000, false, true}, {1010, true, false}}},
        TrackingCase {"54 ms early: the pause brings it to 50, which idles", 1000,
                      {{1000, false, true}, {1046, true, true}}},
        TrackingCase {"55 ms early: 51 after the pause, which does not", 1000,
                      {{1000, false, true}, {1045, true, false}}},
        TrackingCase {"at the next idle time exactly: no pause", 1000,
                      {{1000, false, true}, {1100, false, true}}},
        TrackingCase {"the next idle time moves to the paused time + 100", 1000,
                      {{1000, false, true}, {1050, true, true}, {1099, true, false}, {1154, false, true}}},
        TrackingCase {"late calls always idle", 1000, {{1000, false, true}, {1500, false, true}, {6000, false, true}}},
        TrackingCase {"across the wrap of the 32-bit tick count", 0xFFFFFFF0u,
                      {{0xFFFFFFF0u, false, true}, {0x00000010u, true, false}, {0x00000030u, true, true}}}),
    [](const testing::TestParamInfo<TrackingCase>& info) { return "Case" + std::to_string(info.index); });

TEST(IdleDuringTrackingHost, IsNotReenteredByTheHostIdlingTheEditorFromItsIdle)
{
    fake::Install fakeWindows;
    hostLog = {};
    FakeClock clock;
    clock.time = 1000;
    PlainEffect effect;
    auto* editor = new ASnqEditor(&effect, clock);
    ASSERT_TRUE(editor->open(kParent));
    hostLog.editorToIdle = editor;
    const int pumps = fake::Window::latest()->eventPumps;
    // As a control that tracks the mouse calls it: through the frame to its owner, the editor.
    editor->getFrame()->idleDuringTracking();
    EXPECT_EQ(count(audioMasterIdle), 1);
    EXPECT_EQ(hostLog.frameIdlesInsideMasterIdle, 0) << "the frame idles once, not again from the host's idle";
    EXPECT_EQ(fake::Window::latest()->eventPumps, pumps + 1);
    EXPECT_EQ(fake::Window::latest()->paintsDispatched, 1);
    hostLog.editorToIdle = nullptr;
    // Once out of the host's idle, idle works again.
    editor->idle();
    EXPECT_EQ(fake::Window::latest()->eventPumps, pumps + 2);
}

} // namespace
