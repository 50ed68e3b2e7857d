// A text field: shows a text in a box and lets the user edit it in place. A click starts the
// edit with the whole text selected; typing, Backspace, Delete, the arrows, Home and End edit it;
// Enter or a click elsewhere ends it and tells the listener (valueChanged); Escape abandons it.
// Where the window system offers a text control of its own (Win32 "EDIT"), the edit runs in it;
// otherwise the field draws the caret and selection itself and takes the keys from the frame.
// Threads: every toolkit call runs on the host's user-interface thread, as the editor's do.
#pragma once

#include "gui/Backend.h"
#include "gui/CParamDisplay.h"
#include "gui/TextEditBuffer.h"

#include <memory>
#include <string>
#include <vector>

class CTextEdit : public CParamDisplay, private gui::NativeTextFieldClient {
public:
    // Longest text the field holds, in bytes.
    static constexpr std::size_t kMaxTextLength = 255;

    CTextEdit(const CRect& size, CControlListener* listener, long tag = -1, const char* text = nullptr);
    ~CTextEdit() override;

    // Shows text (cut to kMaxTextLength); redraws only when it differs. An edit in progress keeps
    // its own text; text is what Escape returns to.
    void setText(const char* text);
    // Copies the text, zero-terminated, into buffer of size bytes.
    void getText(char* buffer, std::size_t size) const;
    const std::string& getText() const { return text; }

    bool isEditing() const { return editing; }
    // The text being edited (the shown text when not editing).
    const std::string& getEditText() const { return editing && !native ? buffer.text() : text; }
    const TextEditBuffer& getEditBuffer() const { return buffer; }

    // Starts an edit; ends one as confirmed or cancelled.
    void takeFocus();
    void endEdit(bool confirmed);

    void draw(CDrawContext* context) override;
    bool onMouseDown(CPoint where, long buttons) override;
    long onKeyDown(const KeyEvent& key) override;
    long onKeyUp(const KeyEvent& key) override;
    void looseFocus() override;
    void removed() override;

protected:
    std::string displayText() const override { return text; }

private:
    void nativeEditEnded(const char* editedText, bool confirmed) override;
    void finishEdit(bool confirmed, const std::string& result);
    void drawEditing(CDrawContext* context);

    std::string text;                               // the field's text
    bool editing = false;                           // an edit is in progress
    TextEditBuffer buffer {kMaxTextLength};         // the edit in place, when not native
    std::unique_ptr<gui::NativeTextField> native;   // the window system's control, when it edits
    std::unique_ptr<gui::NativeTextField> retired;  // a control whose edit ended; freed at the next draw
    int scrollOffset = 0;                           // pixels of the edited text scrolled out left
    std::vector<int> caretStops;                    // frame x of each caret place, as last drawn
};
