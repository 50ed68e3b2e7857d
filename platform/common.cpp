// Platform functions that are the same everywhere: the message sink and path joining.
#include "platform/platform.h"

#include <atomic>
#include <cstdlib>

namespace platform {
namespace detail {
// Implemented per platform: shows a message when no sink is installed.
void showSystemMessage(const char* caption, const char* text);
} // namespace detail

namespace {
struct SinkSlot {
    MessageSink sink;
    void* context;
};
std::atomic<const SinkSlot*> currentSink{nullptr};
SinkSlot sinkSlots[2];
int nextSlot = 0;
std::atomic<void*> storedModule{nullptr};
} // namespace

void setMessageSink(MessageSink sink, void* context)
{
    if (!sink) {
        currentSink.store(nullptr, std::memory_order_release);
        return;
    }
    // Two slots alternate so a reader never sees a half-written pair.
    SinkSlot& slot = sinkSlots[nextSlot];
    nextSlot ^= 1;
    slot.sink = sink;
    slot.context = context;
    currentSink.store(&slot, std::memory_order_release);
}

void showMessage(const char* text)
{
    if (const SinkSlot* slot = currentSink.load(std::memory_order_acquire)) {
        slot->sink(slot->context, kMessageCaption, text);
        return;
    }
    detail::showSystemMessage(kMessageCaption, text);
}

std::string joinPath(const std::string& folder, const std::string& name)
{
    std::string path = folder;
    path += pathSeparator();
    path += name;
    return path;
}

void* moduleHandle() { return storedModule.load(std::memory_order_relaxed); }
void setModuleHandle(void* handle) { storedModule.store(handle, std::memory_order_relaxed); }

} // namespace platform
