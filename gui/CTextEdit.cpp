#include "gui/CTextEdit.h"

#include "gui/CControlListener.h"
#include "gui/CDrawContext.h"
#include "gui/CFrame.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

CTextEdit::CTextEdit(const CRect& size, CControlListener* listener, long tag, const char* initialText)
    : CParamDisplay(size, listener, tag)
{
    if (initialText)
        setText(initialText);
}

CTextEdit::~CTextEdit()
{
    native.reset();
    retired.reset();
}

void CTextEdit::setText(const char* newText)
{
    std::string cut(newText ? newText : "");
    if (cut.size() > kMaxTextLength)
        cut.resize(kMaxTextLength);
    if (cut != text) {
        text = std::move(cut);
        setDirty(true);
    }
}

void CTextEdit::getText(char* out, std::size_t size) const
{
    if (!out || size == 0)
        return;
    const std::size_t length = std::min(text.size(), size - 1);
    std::memcpy(out, text.data(), length);
    out[length] = '\0';
}

void CTextEdit::takeFocus()
{
    if (editing || !frame)
        return;
    editing = true;
    frame->setFocusView(this);
    native = frame->createNativeTextField(size, text.c_str(), {font, fontColor, backColor}, *this);
    if (!native) {
        buffer.begin(text);
        scrollOffset = 0;
        caretStops.clear();
        frame->takeKeyboardFocus();
    }
    beginEdit();
    setDirty(true);
}

void CTextEdit::endEdit(bool confirmed)
{
    if (!editing)
        return;
    if (native && confirmed) {
        // The control reports its text through nativeEditEnded.
        native->confirm();
        if (editing)
            finishEdit(false, {});
        return;
    }
    finishEdit(confirmed, native ? text : buffer.text());
}

void CTextEdit::nativeEditEnded(const char* editedText, bool confirmed)
{
    if (editing)
        finishEdit(confirmed, editedText ? editedText : "");
}

void CTextEdit::finishEdit(bool confirmed, const std::string& result)
{
    // Cleared first: giving up the focus below may report back (looseFocus), which must find
    // the edit over.
    editing = false;
    if (native)
        retired = std::move(native);   // possibly called from inside the control: freed at the next draw
    else if (frame)
        frame->releaseKeyboardFocus();
    if (frame && frame->getFocusView() == this)
        frame->setFocusView(nullptr);
    CControl::endEdit();
    setDirty(true);
    if (confirmed) {
        setText(result.c_str());
        notifyValueChanged();
    }
}

void CTextEdit::looseFocus()
{
    endEdit(true);
}

void CTextEdit::removed()
{
    // The frame goes away during an edit: the window system's control goes with it, unreported.
    editing = false;
    native.reset();
    retired.reset();
    CParamDisplay::removed();
}

bool CTextEdit::onMouseDown(CPoint where, long buttons)
{
    if (!hitTest(where))
        return false;
    if (listener && (buttons & (kShift | kControl | kAlt))
        && listener->controlModifierClicked(nullptr, this, buttons) != 0)
        return true;
    if (!(buttons & kLButton))
        return false;
    if (!editing) {
        takeFocus();
    } else if (!native && !caretStops.empty()) {
        // A click inside the field during the edit places the caret at the nearest place.
        std::size_t nearest = 0;
        for (std::size_t i = 1; i < caretStops.size(); ++i)
            if (std::abs(caretStops[i] - where.x) < std::abs(caretStops[nearest] - where.x))
                nearest = i;
        buffer.setCaret(nearest);
        setDirty(true);
    }
    return true;
}

long CTextEdit::onKeyDown(const KeyEvent& key)
{
    if (!editing)
        return -1;
    if (native)
        return native->handleKey(key) ? 1 : -1;
    switch (buffer.handleKey(key)) {
    case TextEditBuffer::KeyResult::kIgnored:
        return -1;
    case TextEditBuffer::KeyResult::kConfirmed:
        endEdit(true);
        return 1;
    case TextEditBuffer::KeyResult::kCancelled:
        endEdit(false);
        return 1;
    case TextEditBuffer::KeyResult::kEdited:
        setDirty(true);
        return 1;
    }
    return -1;
}

long CTextEdit::onKeyUp(const KeyEvent& key)
{
    // Releases of the keys the edit used belong to it too.
    if (editing && !native && (TextEditBuffer::typedCharacter(key) || key.virtualKey != 0))
        return 1;
    return -1;
}

void CTextEdit::draw(CDrawContext* context)
{
    retired.reset();
    if (editing && !native)
        drawEditing(context);
    else
        CParamDisplay::draw(context);
}

void CTextEdit::drawEditing(CDrawContext* context)
{
    drawBox(context);
    context->setFont(font);
    const CRect inner = size.inset(2, 1);
    const std::string& edited = buffer.text();
    const int caretX = context->getStringWidth(std::string_view(edited).substr(0, buffer.caret()));
    // Scroll just enough to keep the caret inside the field.
    if (caretX - scrollOffset > inner.width() - 1)
        scrollOffset = caretX - (inner.width() - 1);
    if (caretX - scrollOffset < 0)
        scrollOffset = caretX;
    const int x0 = inner.left - scrollOffset;
    caretStops.resize(edited.size() + 1);
    for (std::size_t i = 0; i <= edited.size(); ++i)
        caretStops[i] = x0 + context->getStringWidth(std::string_view(edited).substr(0, i));
    const int baseline = context->baselineFor(inner);
    const gui::FontMetrics metrics = context->getFontMetrics();

    const CRect saved = context->getClipRect();
    context->setClipRect(saved.intersection(inner));
    context->setFontColor(fontColor);
    context->drawStringAt(edited, {x0, baseline});
    if (buffer.hasSelection()) {
        // The selection inverted: the text colour behind, the box colour on top.
        const std::string_view all(edited);
        const int from = x0 + context->getStringWidth(all.substr(0, buffer.selectionStart()));
        const int to = x0 + context->getStringWidth(all.substr(0, buffer.selectionEnd()));
        context->setFillColor(fontColor);
        context->fillRect({from, baseline - metrics.ascent, to, baseline + metrics.descent});
        context->setFontColor(backColor);
        context->drawStringAt(all.substr(buffer.selectionStart(), buffer.selectionEnd() - buffer.selectionStart()),
                              {from, baseline});
    } else {
        context->setFrameColor(fontColor);
        context->moveTo({x0 + caretX, baseline - metrics.ascent});
        context->lineTo({x0 + caretX, baseline + metrics.descent});
    }
    context->setClipRect(saved);
}
