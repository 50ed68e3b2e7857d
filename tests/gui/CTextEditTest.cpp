// The text field inside a frame over the fake window system: where it draws its text, selection
// and caret, what it redraws, and the edge cases of an edit. The editing stories themselves run
// over every window system in tests/editor.
#include "FakeWindow.h"

#include "gui/CControlListener.h"
#include "gui/CTextEdit.h"

#include <gtest/gtest.h>

namespace {

const CRect kFrameRect {0, 0, 400, 100}, kFieldRect {72, 53, 215, 68};   // inner text area: x 74..212, y 54..66

struct Listener : CControlListener {
    void valueChanged(CDrawContext*, CControl* control) override { texts.push_back(static_cast<CTextEdit*>(control)->getText()); }
    std::vector<std::string> texts;   // the field's text at each report
};

class TextEditInFrame : public testing::Test {
protected:
    void SetUp() override
    {
        field->setText("User 2");
        frame->addView(field);
        frame->idle();
    }
    void TearDown() override { delete frame; }
    void click(CPoint where = {100, 60}) { window->events.windowMouseDown(where, kLButton); }
    long key(char character, unsigned char virtualKey = 0)
    {
        return window->events.windowKeyDown({static_cast<unsigned char>(character), virtualKey, 0});
    }
    void type(const std::string& text)
    {
        for (char c : text)
            EXPECT_EQ(key(c), 1) << c;
        frame->idle();
    }
    const fake::Drawing& drawn() { return window->drawings.back(); }

    fake::Install fakeWindows;
    Listener listener;
    CFrame* frame = new CFrame(kFrameRect, reinterpret_cast<void*>(0x1234), nullptr);
    fake::Window* window = fake::Window::latest();
    CTextEdit* field = new CTextEdit(kFieldRect, &listener);
};

TEST_F(TextEditInFrame, FirstIdleDrawsTheWholeFrameWithTheTextCentredInTheField)
{
    ASSERT_EQ(window->drawings.size(), 1u);
    EXPECT_EQ(drawn().area, kFrameRect);
    EXPECT_EQ(drawn().fills.front().first, kFrameRect) << "the frame's background colour first";
    ASSERT_EQ(drawn().texts.size(), 1u);
    const fake::DrawnText& text = drawn().texts[0];
    EXPECT_EQ(text.text, "User 2");
    // Centred: (139 - 6 x 6) / 2 from the inner left; the baseline centres ascent 9 + descent 3
    // in the 13 inner rows.
    EXPECT_EQ(text.origin, (CPoint {74 + (139 - 36) / 2, 54 + (13 - 12) / 2 + 9}));
    EXPECT_EQ(text.color, kWhiteCColor);
    EXPECT_EQ(text.clip, kFieldRect.inset(2, 1));
}

TEST_F(TextEditInFrame, RedrawsTheUnionOfWhatChangedAndNothingElse)
{
    frame->idle();
    field->setText("User 2");
    frame->idle();
    EXPECT_EQ(window->drawings.size(), 1u) << "the same text again is no change";
    auto* other = new CTextEdit({300, 10, 340, 20}, nullptr);
    frame->addView(other);
    frame->idle();
    field->setText("Hall");
    other->setText("b");
    frame->idle();
    EXPECT_EQ(drawn().area, (CRect {72, 10, 340, 68}));
    frame->setDirty(true);
    frame->idle();
    EXPECT_EQ(drawn().area, kFrameRect);
}

TEST_F(TextEditInFrame, DrawsTheWholeTextSelectedThenACaretLeftAligned)
{
    click();
    frame->idle();
    EXPECT_EQ(drawn().area, kFieldRect);
    // Selected: a fill in the text colour under the text (baseline 63 less ascent 9 to plus descent
    // 3), the text again in the field colour.
    EXPECT_EQ(drawn().fills.back(), (std::pair {CRect {74, 63 - 9, 74 + 6 * fake::kCharWidth, 63 + 3}, kWhiteCColor}));
    ASSERT_EQ(drawn().texts.size(), 2u);
    EXPECT_EQ(drawn().texts[1].color, field->getBackColor());
    EXPECT_TRUE(drawn().lines.empty());
    key(0, VKEY_END);
    frame->idle();
    EXPECT_EQ(drawn().lines, (std::vector {std::pair {CPoint {110, 63 - 9}, CPoint {110, 63 + 3}}})) << "after six characters";
}

TEST_F(TextEditInFrame, AClickDuringTheEditPlacesTheCaretAtTheNearestCharacterBoundary)
{
    click();
    frame->idle();
    click({84, 60});   // boundaries at 74, 80, 86, ...: 84 is nearest to 86, after two characters
    type("-");
    click({82, 60});   // nearest to 80
    type("+");
    click({210, 60});  // past the text: its end
    type("!");
    EXPECT_EQ(field->getEditText(), "U+s-er 2!");
}

TEST_F(TextEditInFrame, ScrollsALongEditSoTheCaretStaysInside)
{
    click();
    type(std::string(40, 'w'));
    ASSERT_EQ(drawn().lines.size(), 1u);
    const int caret = drawn().lines[0].first.x;
    EXPECT_LE(caret, 212);
    EXPECT_GT(caret, 200);
    EXPECT_EQ(drawn().texts[0].origin.x + 40 * fake::kCharWidth, caret) << "the front scrolled out";
    key(0, VKEY_HOME);
    frame->idle();
    EXPECT_EQ(drawn().texts[0].origin.x, 74) << "back to the front";
}

TEST_F(TextEditInFrame, ANameChangeDuringAnEditWaitsAndClosingTheFrameTellsNobody)
{
    click();
    type("Mine");
    field->setText("Host changed it");
    frame->idle();
    EXPECT_EQ(field->getEditText(), "Mine");
    key(0, VKEY_ESCAPE);
    frame->idle();
    EXPECT_EQ(drawn().texts.back().text, "Host changed it");
    click();
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

TEST(Frame, ThatTheWindowSystemRefusesIsNotOpen)
{
    fake::Install fakeWindows;
    CFrame frame(kFrameRect, fake::Window::refusedParent(), nullptr);
    EXPECT_FALSE(frame.isOpen());
    frame.idle();   // harmless
    EXPECT_EQ(frame.onKeyDown({'a', 0, 0}), -1);
}

} // namespace
