// The text field in a frame over the fake window system: where it draws its text, selection and
// caret, and what it redraws. The editing stories run over every window system in tests/editor.
#include "FakeWindow.h"

#include "gui/CTextEdit.h"

#include <gtest/gtest.h>

namespace {

// The field's inner text area is x 74..212, y 54..66: the baseline at 63 centres ascent 9 and
// descent 3 in it.
const CRect kFrameRect {0, 0, 400, 100}, kFieldRect {72, 53, 215, 68};

class TextEditInFrame : public testing::Test {
protected:
    void SetUp() override
    {
        field->setText("User 2");
        frame->addView(field);
        frame->idle();
    }
    void TearDown() override { delete frame; }
    void click(CPoint where = {100, 60}) { window->events.windowMouseDown(where, kLButton), frame->idle(); }
    void key(unsigned char virtualKey) { window->events.windowKeyDown({0, virtualKey, 0}), frame->idle(); }
    void type(const std::string& text)
    {
        for (char c : text)
            EXPECT_EQ(window->events.windowKeyDown({static_cast<unsigned char>(c), 0, 0}), 1) << c;
        frame->idle();
    }
    const fake::Drawing& drawn() { return window->drawings.back(); }

    fake::Install fakeWindows;
    CFrame* frame = new CFrame(kFrameRect, reinterpret_cast<void*>(0x1234), nullptr);
    fake::Window* window = fake::Window::latest();
    CTextEdit* field = new CTextEdit(kFieldRect, nullptr);
};

TEST_F(TextEditInFrame, FirstIdleDrawsTheFrameWithTheTextCentredAndNextIdlesOnlyWhatChanged)
{
    ASSERT_EQ(window->drawings.size(), 1u);
    EXPECT_EQ(drawn().area, kFrameRect);
    EXPECT_EQ(drawn().fills.front().first, kFrameRect) << "the frame's background colour first";
    ASSERT_EQ(drawn().texts.size(), 1u);
    const fake::DrawnText& text = drawn().texts[0];
    EXPECT_EQ(text.text, "User 2");
    EXPECT_EQ(text.origin, (CPoint {74 + (139 - 6 * 6) / 2, 63}));
    EXPECT_EQ(text.color, kWhiteCColor);
    EXPECT_EQ(text.clip, kFieldRect.inset(2, 1));
    field->setText("User 2");
    frame->idle();
    EXPECT_EQ(window->drawings.size(), 1u) << "the same text again is no change";
    field->setText("Hall");
    frame->idle();
    EXPECT_EQ(drawn().area, kFieldRect);
}

TEST_F(TextEditInFrame, DrawsTheWholeTextSelectedThenACaret)
{
    click();
    // A fill in the text colour under the text, the text again in the field colour, no caret.
    EXPECT_EQ(drawn().fills.back(), (std::pair {CRect {74, 63 - 9, 74 + 6 * fake::kCharWidth, 63 + 3}, kWhiteCColor}));
    ASSERT_EQ(drawn().texts.size(), 2u);
    EXPECT_EQ(drawn().texts[1].color, field->getBackColor());
    EXPECT_TRUE(drawn().lines.empty());
    key(VKEY_END);
    EXPECT_EQ(drawn().lines, (std::vector {std::pair {CPoint {110, 63 - 9}, CPoint {110, 63 + 3}}})) << "after 6 characters";
}

TEST_F(TextEditInFrame, ScrollsALongEditSoTheCaretStaysInside)
{
    click();
    type(std::string(40, 'w'));
    ASSERT_EQ(drawn().lines.size(), 1u);
    const int caret = drawn().lines[0].first.x;
    EXPECT_TRUE(caret > 200 && caret <= 212) << caret;
    EXPECT_EQ(drawn().texts[0].origin.x + 40 * fake::kCharWidth, caret) << "the front scrolled out";
    key(VKEY_HOME);
    EXPECT_EQ(drawn().texts[0].origin.x, 74) << "back to the front";
}

} // namespace
