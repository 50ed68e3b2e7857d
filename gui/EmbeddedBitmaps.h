// Bitmaps that the module carries as data, for back ends without a resource section (X11): the
// module registers each one before its editor loads it, and loadBitmapResource decodes it from
// here. The Win32 back end loads bitmap resources from the DLL instead and does not look here.
//
// Threads: any thread; registration and lookup are serialised by a lock (never the audio thread:
// bitmaps are registered when a plug-in or its editor is created).
#pragma once

#include <cstddef>

namespace gui {

struct EmbeddedBitmap {
    const unsigned char* data = nullptr;   // a Windows bitmap file; null when there is none
    std::size_t size = 0;                  // bytes
};

// Makes the size bytes at data bitmap resource id. The bytes are not copied and must outlive
// every editor (static data of the module). Registering an id again replaces the earlier bytes.
// False when the table (16 bitmaps) is full.
bool registerBitmap(int id, const unsigned char* data, std::size_t size);

// The bitmap registered as id; empty when there is none.
EmbeddedBitmap findBitmap(int id);

} // namespace gui
