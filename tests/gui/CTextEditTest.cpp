// The text field inside a frame, over the fake window system: what a click, keys, a click
// elsewhere and a loss of focus do, what reaches the listener, and what gets redrawn.
#include "FakeWindow.h"

#include "gui/CControlListener.h"
#include "gui/CTextEdit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

void* const kParent = reinterpret_cast<void*>(0x1234);
const CRect kFrameRect {0, 0, 400, 100};
const CRect kFieldRect {72, 53, 215, 68};
const CPoint kInsideField {100, 60};
const CPoint kOutsideField {20, 20};

class RecordingListener : public CControlListener {
public:
    void valueChanged(CDrawContext*, CControl* control) override
    {
        auto* field = static_cast<CTextEdit*>(control);
        texts.push_back(field->getText());
    }
    std::vector<std::string> texts;   // the field's text at each valueChanged
};

KeyEvent character(char c)
{
    KeyEvent key {};
    key.character = static_cast<unsigned char>(c);
    return key;
}

KeyEvent virtualKey(unsigned char virt)
{
    KeyEvent key {};
    key.virtualKey = virt;
    return key;
}

class TextEditInFrame : public testing::Test {
protected:
    void SetUp() override
    {
        frame = new CFrame(kFrameRect, kParent, nullptr);
        ASSERT_TRUE(frame->isOpen());
        window = fake::Window::latest();
        field = new CTextEdit(kFieldRect, &listener);
        field->setText("User 2");
        frame->addView(field);
        frame->idle();
    }
    void TearDown() override { delete frame; }

    void type(const std::string& text)
    {
        for (char c : text) {
            KeyEvent key = character(c);
            EXPECT_EQ(window->events.windowKeyDown(key), 1) << c;
        }
    }
    long press(unsigned char virt)
    {
        KeyEvent key = virtualKey(virt);
        return window->events.windowKeyDown(key);
    }

    fake::Install fakeWindows;
    RecordingListener listener;
    CFrame* frame = nullptr;
    fake::Window* window = nullptr;
    CTextEdit* field = nullptr;
};

TEST_F(TextEditInFrame, FirstIdleDrawsTheWholeFrameWithTheTextCentredInTheField)
{
    ASSERT_EQ(window->drawings.size(), 1u);
    const fake::Drawing& drawing = window->drawings[0];
    EXPECT_EQ(drawing.area, kFrameRect);
    ASSERT_EQ(drawing.texts.size(), 1u);
    EXPECT_EQ(drawing.texts[0].text, "User 2");
    // Centred in the field less its two-pixel margin: (143 - 4 - 6 x 6) / 2 from the inner left.
    EXPECT_EQ(drawing.texts[0].origin.x, 74 + (139 - 36) / 2);
    // Baseline centres ascent 9 + descent 3 in the 13 inner rows: top 54 + 0 + 9.
    EXPECT_EQ(drawing.texts[0].origin.y, 54 + (13 - 12) / 2 + 9);
    EXPECT_EQ(drawing.texts[0].color, kWhiteCColor);
}

TEST_F(TextEditInFrame, IdleRedrawsNothingUntilTheTextChanges)
{
    frame->idle();
    EXPECT_EQ(window->drawings.size(), 1u);
    field->setText("User 2");
    frame->idle();
    EXPECT_EQ(window->drawings.size(), 1u);
    field->setText("Hall");
    frame->idle();
    ASSERT_EQ(window->drawings.size(), 2u);
    EXPECT_EQ(window->drawings[1].area, kFieldRect);
    EXPECT_EQ(window->lastTexts(), std::vector<std::string> {"Hall"});
}

TEST_F(TextEditInFrame, ClickTypeAndEnterReportTheNewTextOnce)
{
    window->events.windowMouseDown(kInsideField, kLButton);
    EXPECT_TRUE(field->isEditing());
    EXPECT_EQ(frame->getFocusView(), field);
    EXPECT_EQ(window->focusTaken, 1);
    type("Hall A");
    EXPECT_EQ(field->getEditText(), "Hall A");
    EXPECT_TRUE(listener.texts.empty());
    EXPECT_EQ(press(VKEY_RETURN), 1);
    EXPECT_FALSE(field->isEditing());
    EXPECT_EQ(listener.texts, std::vector<std::string> {"Hall A"});
    EXPECT_EQ(field->getText(), "Hall A");
    EXPECT_EQ(window->focusReleased, 1);
    EXPECT_EQ(frame->getFocusView(), nullptr);
    // Keys after the edit are the host's again.
    EXPECT_EQ(press(VKEY_BACK), -1);
}

TEST_F(TextEditInFrame, EscapeRestoresTheTextAndTellsNobody)
{
    window->events.windowMouseDown(kInsideField, kLButton);
    type("Gone");
    EXPECT_EQ(press(VKEY_ESCAPE), 1);
    EXPECT_FALSE(field->isEditing());
    EXPECT_EQ(field->getText(), "User 2");
    EXPECT_TRUE(listener.texts.empty());
    frame->idle();
    EXPECT_EQ(window->lastTexts(), std::vector<std::string> {"User 2"});
}

TEST_F(TextEditInFrame, AClickElsewhereInTheFrameOrLosingTheKeyboardConfirms)
{
    window->events.windowMouseDown(kInsideField, kLButton);
    type("Elsewhere");
    window->events.windowMouseDown(kOutsideField, kLButton);
    EXPECT_FALSE(field->isEditing());
    window->events.windowMouseDown(kInsideField, kLButton);
    type("Moved");
    window->events.windowFocusLost();   // to another window
    EXPECT_FALSE(field->isEditing());
    EXPECT_EQ(listener.texts, (std::vector<std::string> {"Elsewhere", "Moved"}));
}

TEST_F(TextEditInFrame, KeysForwardedByTheHostReachTheFieldThroughTheFrame)
{
    KeyEvent key = character('x');
    EXPECT_EQ(frame->onKeyDown(key), -1);   // not editing: not the field's
    window->events.windowMouseDown(kInsideField, kLButton);
    for (char c : std::string("Hosted")) {
        key = character(c);
        EXPECT_EQ(frame->onKeyDown(key), 1);
        EXPECT_EQ(frame->onKeyUp(key), 1);
    }
    key = virtualKey(VKEY_ENTER);
    EXPECT_EQ(frame->onKeyDown(key), 1);
    EXPECT_EQ(listener.texts, std::vector<std::string> {"Hosted"});
}

TEST_F(TextEditInFrame, TheProgramNameChangingDuringAnEditDoesNotDisturbIt)
{
    window->events.windowMouseDown(kInsideField, kLButton);
    type("Mine");
    field->setText("Host changed it");
    EXPECT_EQ(field->getEditText(), "Mine");
    press(VKEY_ESCAPE);
    EXPECT_EQ(field->getText(), "Host changed it");
}

TEST_F(TextEditInFrame, DrawsTheEditWithTheWholeTextSelectedThenACaret)
{
    window->events.windowMouseDown(kInsideField, kLButton);
    frame->idle();
    const fake::Drawing& selected = window->drawings.back();
    EXPECT_EQ(selected.area, kFieldRect);
    // Selected: a fill in the text colour under the text, the text drawn again in the field colour.
    ASSERT_FALSE(selected.fills.empty());
    const fake::DrawnFill& highlight = selected.fills.back();
    EXPECT_EQ(highlight.color, kWhiteCColor);
    EXPECT_EQ(highlight.rect.width(), 6 * fake::kCharWidth);
    ASSERT_EQ(selected.texts.size(), 2u);
    EXPECT_EQ(selected.texts[1].color, field->getBackColor());
    EXPECT_TRUE(selected.lines.empty());

    press(VKEY_END);
    frame->idle();
    const fake::Drawing& caret = window->drawings.back();
    ASSERT_EQ(caret.lines.size(), 1u);
    // Left-aligned while editing: the caret stands after six characters from the inner left.
    EXPECT_EQ(caret.lines[0].from.x, 74 + 6 * fake::kCharWidth);
    EXPECT_EQ(caret.lines[0].from.x, caret.lines[0].to.x);
}

TEST_F(TextEditInFrame, AClickDuringTheEditPlacesTheCaretAtTheNearestCharacterBoundary)
{
    window->events.windowMouseDown(kInsideField, kLButton);
    frame->idle();
    // Boundaries at 74, 80, 86, ...: x 84 is nearest to 86, after two characters.
    window->events.windowMouseDown({84, 60}, kLButton);
    EXPECT_EQ(field->getEditBuffer().caret(), 2u);
    type("-");
    EXPECT_EQ(field->getEditText(), "Us-er 2");
}

TEST_F(TextEditInFrame, ScrollsALongEditSoTheCaretStaysInside)
{
    window->events.windowMouseDown(kInsideField, kLButton);
    type(std::string(40, 'w'));
    frame->idle();
    const fake::Drawing& drawing = window->drawings.back();
    ASSERT_EQ(drawing.lines.size(), 1u);
    const int caretX = drawing.lines[0].from.x;
    EXPECT_GE(caretX, kFieldRect.left + 2);
    EXPECT_LT(caretX, kFieldRect.right - 2);
    // The text starts left of the field: its front is scrolled out.
    EXPECT_LT(drawing.texts[0].origin.x, kFieldRect.left);
    EXPECT_EQ(drawing.texts[0].clip, kFieldRect.inset(2, 1));
}

TEST_F(TextEditInFrame, ClosingTheFrameDuringAnEditTellsNobody)
{
    window->events.windowMouseDown(kInsideField, kLButton);
    type("Unfinished");
    delete frame;
    frame = nullptr;
    EXPECT_TRUE(listener.texts.empty());
}

TEST(TextEdit, KeepsAtMost255BytesAndCopiesWithinTheBuffer)
{
    CTextEdit field(kFieldRect, nullptr);
    field.setText(std::string(300, 'a').c_str());
    EXPECT_EQ(field.getText().size(), 255u);
    char small[5];
    field.getText(small, sizeof small);
    EXPECT_STREQ(small, "aaaa");
    field.setText(nullptr);
    EXPECT_EQ(field.getText(), "");
}

// The window system's own text control instead of the in-place edit.
class NativeTextEditInFrame : public testing::Test {
protected:
    void SetUp() override
    {
        field->setText("Mic");
        frame.addView(field);
    }
    fake::Install fakeWindows {true};
    RecordingListener listener;
    CFrame frame {kFrameRect, kParent, nullptr};
    fake::Window* window = fake::Window::latest();
    CTextEdit* field = new CTextEdit(kFieldRect, &listener);
};

TEST_F(NativeTextEditInFrame, EditsInTheWindowSystemsControlAndReportsItsText)
{
    window->events.windowMouseDown(kInsideField, kLButton);
    ASSERT_NE(window->lastNativeField, nullptr);
    EXPECT_EQ(window->lastNativeField->text, "Mic");
    EXPECT_EQ(window->focusTaken, 0);   // the control takes the keyboard itself
    KeyEvent key = character('2');
    EXPECT_EQ(frame.onKeyDown(key), 1);
    key = virtualKey(VKEY_RETURN);
    EXPECT_EQ(frame.onKeyDown(key), 1);
    EXPECT_EQ(listener.texts, std::vector<std::string> {"Mic2"});
    frame.idle();   // the control is freed at the field's next draw
    EXPECT_EQ(window->nativeFieldsAlive, 0);
    EXPECT_FALSE(field->isEditing());
}

TEST_F(NativeTextEditInFrame, AClickElsewhereConfirmsAndEscapeCancels)
{
    window->events.windowMouseDown(kInsideField, kLButton);
    window->lastNativeField->text = "Typed";
    window->events.windowMouseDown(kOutsideField, kLButton);
    EXPECT_EQ(listener.texts, std::vector<std::string> {"Typed"});
    frame.idle();
    EXPECT_EQ(window->nativeFieldsAlive, 0);

    window->events.windowMouseDown(kInsideField, kLButton);
    window->lastNativeField->text = "Dropped";
    KeyEvent escape = virtualKey(VKEY_ESCAPE);
    EXPECT_EQ(frame.onKeyDown(escape), 1);
    EXPECT_EQ(field->getText(), "Typed");
    EXPECT_EQ(listener.texts.size(), 1u);
}

TEST(Frame, ThatTheWindowSystemRefusesIsNotOpen)
{
    fake::Install fakeWindows;
    CFrame frame(kFrameRect, fake::Window::refusedParent(), nullptr);
    EXPECT_FALSE(frame.isOpen());
    frame.idle();   // harmless
    KeyEvent key = character('a');
    EXPECT_EQ(frame.onKeyDown(key), -1);
}

TEST(Frame, RedrawsTheUnionOfTheDirtyViewsOverTheBackgroundColour)
{
    fake::Install fakeWindows;
    CFrame frame(kFrameRect, kParent, nullptr);
    fake::Window* window = fake::Window::latest();
    auto* a = new CTextEdit({10, 10, 50, 20}, nullptr);
    auto* b = new CTextEdit({60, 30, 100, 40}, nullptr);
    frame.addView(a);
    frame.addView(b);
    frame.idle();
    a->setText("a");
    b->setText("b");
    frame.idle();
    EXPECT_EQ(window->drawings.back().area, (CRect {10, 10, 100, 40}));
    frame.setDirty(true);
    frame.idle();
    EXPECT_EQ(window->drawings.back().area, kFrameRect);
    EXPECT_EQ(window->drawings.back().fills.front().rect, kFrameRect);
}

} // namespace
