// A bitmap from the module's resources (bitmap resource number on Windows, embedded data on
// other systems), shared by reference count.
// Threads: every toolkit call runs on the host's user-interface thread, as the editor's do.
#pragma once

#include "gui/Backend.h"
#include "gui/CReferenceCounter.h"

#include <memory>

class CDrawContext;

class CBitmap : public CReferenceCounter {
public:
    // Loads bitmap resource resourceId of the module; an empty bitmap (0 × 0) when there is none.
    explicit CBitmap(int resourceId);

    int getWidth() const { return bitmap ? bitmap->width() : 0; }
    int getHeight() const { return bitmap ? bitmap->height() : 0; }
    bool isLoaded() const { return bitmap != nullptr; }
    int getResourceId() const { return resourceId; }

    // Draws the part from source onwards into dest.
    void draw(CDrawContext* context, const CRect& dest, CPoint source = {}) const;

    const gui::BitmapData* data() const { return bitmap.get(); }

private:
    int resourceId;                            // the resource number it came from
    std::unique_ptr<gui::BitmapData> bitmap;   // the back end's pixels; null when not found
};
