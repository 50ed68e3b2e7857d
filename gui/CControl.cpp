#include "gui/CControl.h"

#include "gui/CControlListener.h"
#include "gui/CFrame.h"

#include <algorithm>

CControl::CControl(const CRect& size, CControlListener* listener, long tag)
    : CView(size), listener(listener), tag(tag)
{
}

void CControl::setValue(float newValue)
{
    newValue = std::clamp(newValue, 0.0f, 1.0f);
    if (newValue != value) {
        value = newValue;
        setDirty(true);
    }
}

void CControl::beginEdit()
{
    if (tag >= 0 && frame && frame->getOwner())
        frame->getOwner()->beginEdit(static_cast<std::int32_t>(tag));
}

void CControl::endEdit()
{
    if (tag >= 0 && frame && frame->getOwner())
        frame->getOwner()->endEdit(static_cast<std::int32_t>(tag));
}

void CControl::notifyValueChanged()
{
    if (listener)
        listener->valueChanged(nullptr, this);
}
