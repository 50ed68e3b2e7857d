// The module's embedded resources on systems without a resource section (the Windows DLL carries
// the same pictures as bitmap resources instead). Each bitmap is a Windows bitmap file.
#pragma once

#include <cstddef>

namespace resources {

struct Blob {
    const unsigned char* data = nullptr;   // the file's bytes; null when there is no such resource
    std::size_t size = 0;                  // bytes
};

// Bitmap resource number id (128: the editor's background).
Blob findBitmap(int id);

} // namespace resources
