#include "gui/EmbeddedBitmaps.h"

#include <mutex>

namespace gui {

namespace {

struct Entry {
    int id = 0;              // bitmap resource number
    EmbeddedBitmap bitmap;   // its bytes; empty while the entry is unused
};

constexpr std::size_t kMaxBitmaps = 16;

std::mutex tableLock;                 // guards table
Entry table[kMaxBitmaps];             // registered bitmaps, unused entries empty

} // namespace

bool registerBitmap(int id, const unsigned char* data, std::size_t size)
{
    const std::lock_guard<std::mutex> lock(tableLock);
    Entry* free = nullptr;
    for (Entry& entry : table) {
        if (entry.bitmap.data && entry.id == id) {
            entry.bitmap = {data, size};
            return true;
        }
        if (!entry.bitmap.data && !free)
            free = &entry;
    }
    if (!free)
        return false;
    *free = {id, {data, size}};
    return true;
}

EmbeddedBitmap findBitmap(int id)
{
    const std::lock_guard<std::mutex> lock(tableLock);
    for (const Entry& entry : table)
        if (entry.bitmap.data && entry.id == id)
            return entry.bitmap;
    return {};
}

} // namespace gui
