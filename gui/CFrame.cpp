#include "gui/CFrame.h"

#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"

namespace {

gui::WindowBackendFactory testFactory = nullptr;   // replaces the window system in tests
long knobMode = 0;                                  // module-wide, set through the editor

} // namespace

namespace gui {

void setWindowBackendFactory(WindowBackendFactory factory)
{
    testFactory = factory;
}

} // namespace gui

CFrame::CFrame(const CRect& size, void* parentWindow, CFrameOwner* owner)
    : CViewContainer(size), parentWindow(parentWindow), owner(owner)
{
    frame = this;
    window = testFactory ? testFactory(parentWindow, size, *this)
                         : gui::createWindowBackend(parentWindow, size, *this);
}

CFrame::~CFrame()
{
    // Views first: a text field in the middle of an edit drops its native control while the
    // window still exists.
    focusView = nullptr;
    removeAll(true);
    window.reset();
}

long CFrame::getKnobMode()
{
    return knobMode;
}

void CFrame::setKnobMode(long mode)
{
    knobMode = mode;
}

void CFrame::idle()
{
    if (!window)
        return;
    window->processEvents();
    const CRect area = dirtyArea();
    if (!area.isEmpty())
        window->redraw(area);
}

void CFrame::setDirty(bool state)
{
    dirty = state;
    if (!state)
        for (CView* view : views)
            view->setDirty(false);
}

void CFrame::windowPaint(gui::DrawDevice& device, const CRect& area)
{
    CDrawContext context(device, area.intersection(size));
    drawRect(&context, area);
}

long CFrame::onKeyDown(const KeyEvent& key)
{
    return focusView ? focusView->onKeyDown(key) : -1;
}

long CFrame::onKeyUp(const KeyEvent& key)
{
    return focusView ? focusView->onKeyUp(key) : -1;
}

bool CFrame::onWheel(CPoint where, float distance)
{
    return CViewContainer::onWheel(where, distance);
}

bool CFrame::onMouseDown(CPoint where, long buttons)
{
    // A click outside the view that has the focus ends what it was doing (confirms an edit).
    if (focusView && !focusView->hitTest(where)) {
        CView* previous = focusView;
        focusView = nullptr;
        previous->looseFocus();
    }
    return CViewContainer::onMouseDown(where, buttons);
}

void CFrame::windowFocusLost()
{
    if (CView* previous = focusView) {
        focusView = nullptr;
        previous->looseFocus();
    }
}

bool CFrame::getCurrentMouseLocation(CPoint& where)
{
    return window && window->cursorPosition(where);
}

void CFrame::setFocusView(CView* view)
{
    if (view == focusView)
        return;
    CView* previous = focusView;
    focusView = view;
    if (previous)
        previous->looseFocus();
}

void CFrame::takeKeyboardFocus()
{
    if (window)
        window->takeKeyboardFocus();
}

void CFrame::releaseKeyboardFocus()
{
    if (window)
        window->releaseKeyboardFocus();
}

std::unique_ptr<gui::NativeTextField> CFrame::createNativeTextField(const CRect& rect, const char* text,
                                                                    const gui::TextFieldStyle& style,
                                                                    gui::NativeTextFieldClient& client)
{
    return window ? window->createTextField(rect, text, style, client) : nullptr;
}

void CFrame::idleDuringTracking()
{
    if (owner)
        owner->idleDuringTracking();
}

void CFrame::dispatchPendingPaint()
{
    if (window)
        window->dispatchPendingPaint();
}
