// What a person does with the editor, told once and run over each window system: a driver opens
// the editor in a host window, clicks and types as the window system delivers it and reads back
// what the name field shows. The plug-in is reached only through its dispatcher.
#pragma once

#include "host/vst2.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <optional>

namespace story {

enum class Key { Enter, KeypadEnter, Escape, End, Backspace };

class Driver {
public:
    virtual ~Driver() = default;
    virtual VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr) = 0;
    virtual void* hostWindow() = 0;
    virtual void* missingWindow() = 0;   // a handle that names no window
    virtual void settle() {}             // lets the window system catch up
    virtual void click(int x, int y, bool right) = 0;
    virtual void type(const std::string& text) = 0;
    virtual void press(Key key) = 0;
    virtual std::string field() = 0;     // what the name field shows, or a digest of it
    virtual void expectPicture() = 0;    // the background and the default program's name
    virtual int editorWindows() = 0;     // the editor's windows in the host window
    virtual std::optional<bool> hostHasKeyboard() { return std::nullopt; }
    virtual void hostTakesKeyboard() = 0;
    virtual void closePlugin() = 0;      // effClose
    virtual void finish() {}             // checks at the end of each story
};

struct Backend {
    const char* name;
    std::unique_ptr<Driver> (*make)();   // null without a display
};
inline void PrintTo(const Backend& backend, std::ostream* out) { *out << backend.name; }
inline std::string backendName(const testing::TestParamInfo<Backend>& info) { return info.param.name; }

inline const std::string kDefaultName = "Quaddle - uncalibrated";

class EditorStory : public testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        if (!(d = GetParam().make()))
            GTEST_SKIP() << "no display for " << GetParam().name << " (DISPLAY is not set)";
    }
    void TearDown() override { d ? d->finish() : void(); }
    bool open(void* window = nullptr)
    {
        const bool opened = d->dispatch(effEditOpen, 0, 0, window ? window : d->hostWindow()) == 1;
        return idle(), opened;
    }
    void idle(int times = 2) { for (int i = 0; i < times; ++i) d->dispatch(effEditIdle), d->settle(); }
    std::string name()
    {
        char text[kVstMaxProgNameLen + 8] = {};
        return d->dispatch(effGetProgramName, 0, 0, text), text;
    }
    void program(int number) { d->dispatch(effSetProgram, 0, number); }
    void clickAt(int x, int y, bool right = false) { d->click(x, y, right), idle(); }
    void clickField() { clickAt(140, 60); }
    void type(const std::string& text) { d->type(text), idle(); }
    void press(Key key) { d->press(key), idle(); }
    VstIntPtr hostKey(VstInt32 character, VstIntPtr virtualKey = 0) { return d->dispatch(effEditKeyDown, character, virtualKey); }

    std::unique_ptr<Driver> d;
};

TEST_P(EditorStory, ShowsTheBackgroundAndTheProgramsName)
{
    ASSERT_TRUE(open());
    d->expectPicture();
}

TEST_P(EditorStory, TypingANameAndEnterRenamesTheCurrentProgram)
{
    program(3);
    ASSERT_TRUE(open());
    clickField();
    type("Field Rec 7");
    EXPECT_EQ(name(), "User 3") << "nothing changes before Enter";
    press(Key::Enter);
    EXPECT_EQ(name(), "Field Rec 7");
    clickField();
    for (Key key : {Key::End, Key::Backspace})
        press(key);
    type("8");
    press(Key::KeypadEnter);
    EXPECT_EQ(name(), "Field Rec 8");
}

TEST_P(EditorStory, AFortyCharacterNameComesBackCutTo23AndIsShownSo)
{
    ASSERT_TRUE(open());
    std::string typed = "abcdefghij klmnopqrst ABCDEFGHIJ KLMNOPQ";
    clickField();
    type(typed);
    press(Key::Enter);
    EXPECT_EQ(name(), typed.substr(0, 23));
    const std::string renamed = d->field();
    program(5);   // the field shows what a host-set name of those 23 characters shows
    d->dispatch(effSetProgramName, 0, 0, typed.erase(23).data());
    idle();
    EXPECT_EQ(d->field(), renamed);
}

TEST_P(EditorStory, EscapeAbandonsTheEditAndAClickOutsideOrTheHostTakingTheKeyboardConfirm)
{
    ASSERT_TRUE(open());
    const std::string before = d->field();
    clickField();
    type("Nope");
    press(Key::Escape);
    EXPECT_EQ(name(), kDefaultName);
    EXPECT_EQ(d->field(), before);
    clickField();
    type("Clicked Away");
    clickAt(300, 20, true);   // with any button
    EXPECT_EQ(name(), "Clicked Away");
    clickField();
    type("Moved");
    d->hostTakesKeyboard();
    idle();
    EXPECT_EQ(name(), "Moved");
}

TEST_P(EditorStory, FollowsTheCurrentProgramAtTheNextIdle)
{
    ASSERT_TRUE(open());
    const std::string first = d->field();
    program(1);
    d->settle();
    EXPECT_EQ(d->field(), first) << "nothing is drawn before the idle";
    idle(1);
    EXPECT_NE(d->field(), first);
    program(0);
    idle(1);
    EXPECT_EQ(d->field(), first);
}

TEST_P(EditorStory, KeysTheHostForwardsEditTheFieldWhileItIsEdited)
{
    ASSERT_TRUE(open());
    EXPECT_EQ(hostKey('x'), 0) << "not editing: the key is the host's";
    clickField();
    for (char c : std::string("Hosted"))
        EXPECT_EQ(hostKey(c), 1) << c;
    EXPECT_EQ(hostKey(0, 1 /* VKEY_BACK */), 1);
    EXPECT_EQ(hostKey(0, 7 /* VKEY_SPACE */), 1);
    EXPECT_EQ(hostKey('1'), 1);
    EXPECT_EQ(hostKey(0, 40 /* VKEY_F1 */), 0) << "not an editing key";
    EXPECT_EQ(hostKey(0, 4 /* VKEY_RETURN */), 1);
    idle();
    EXPECT_EQ(name(), "Hoste 1");
}

TEST_P(EditorStory, RefusesAParentThatDoesNotExistClosesReopensAndLeavesNoWindowBehind)
{
    EXPECT_FALSE(open(d->missingWindow()));
    EXPECT_EQ(hostKey('a'), 0);
    d->dispatch(effEditClose);
    EXPECT_EQ(d->editorWindows(), 0);
    ASSERT_TRUE(open());
    ASSERT_TRUE(open()) << "a second open without a close";
    EXPECT_EQ(d->editorWindows(), 1);
    const std::string shown = d->field();
    clickField();
    type("Unfinished");
    d->dispatch(effEditClose);
    EXPECT_EQ(name(), kDefaultName) << "an edit unfinished at the close renames nothing";
    program(1);
    idle(3);   // idles while closed touch nothing
    EXPECT_EQ(d->editorWindows(), 0);
    ERect* rect = nullptr;
    ASSERT_EQ(d->dispatch(effEditGetRect, 0, 0, &rect), 1);
    EXPECT_EQ((std::array {rect->top, rect->left, rect->bottom, rect->right}), (std::array<VstInt16, 4> {0, 0, 100, 400}));
    program(0);
    for (int round = 0; round < 10; ++round) {   // each open is a new window, often where the last one was
        ASSERT_TRUE(open());
        ASSERT_EQ(d->field(), shown) << "round " << round;
        d->dispatch(effEditClose);
    }
    d->dispatch(effEditClose);   // a second close is harmless
    ASSERT_TRUE(open());
    d->closePlugin();            // with the editor open
    d->settle();
    EXPECT_EQ(d->editorWindows(), 0);
}

TEST_P(EditorStory, HandsTheKeyboardBackToTheHostAfterAnEdit)
{
    ASSERT_TRUE(open());
    if (!d->hostHasKeyboard())
        GTEST_SKIP() << GetParam().name << " leaves the keyboard to the window system";
    for (bool escape : {true, false}) {
        clickField();
        EXPECT_FALSE(*d->hostHasKeyboard()) << "the field has the keyboard while edited";
        escape ? press(Key::Escape) : clickAt(300, 20);
        EXPECT_TRUE(*d->hostHasKeyboard()) << (escape ? "after Escape" : "after a click elsewhere");
    }
}

} // namespace story
