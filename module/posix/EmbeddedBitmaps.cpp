#include "module/EmbeddedBitmaps.h"

#include "gui/EmbeddedBitmaps.h"
#include "resources/Resources.h"

void registerEmbeddedBitmaps()
{
    // Hosts may create plug-ins on several threads at once; the first caller registers, the others
    // wait for it (a function-local static is initialised exactly once).
    static const bool registered = [] {
        bool all = true;
        for (const resources::Bitmap& bitmap : resources::bitmaps())
            all = gui::registerBitmap(bitmap.id, bitmap.data, bitmap.size) && all;
        return all;
    }();
    (void)registered;
}
