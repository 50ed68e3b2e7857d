// The module's embedded resources on systems without a resource section (the Windows DLL carries
// the same pictures as bitmap resources instead). Each bitmap is a Windows bitmap file. The module
// hands them to the toolkit (gui::registerBitmap); nothing else reads them.
// Threads: constant data, any thread.
#pragma once

#include <cstddef>
#include <span>

namespace resources {

struct Bitmap {
    int id = 0;                            // bitmap resource number (128: the editor's background)
    const unsigned char* data = nullptr;   // the file's bytes, static
    std::size_t size = 0;                  // bytes
};

// Every embedded bitmap.
std::span<const Bitmap> bitmaps();

} // namespace resources
