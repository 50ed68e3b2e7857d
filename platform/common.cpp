// Platform functions that are the same everywhere: the message sink and path joining.
#include "platform/platform.h"

#include <atomic>
#include <cstdlib>
#include <mutex>

namespace platform {
namespace detail {
// Implemented per platform: shows a message when no sink is installed.
void showSystemMessage(const char* caption, const char* text);
} // namespace detail

namespace {
// The installed sink and its context, always read and written together, and the sink called under
// the same lock: once setMessageSink returns, the sink it replaced is never called again. Recursive,
// so that a sink may show a message or install another sink itself. Messages are shown from host
// threads only (the plug-in queues what its audio thread raises), so a lock is fine here.
std::recursive_mutex sinkLock;
MessageSink installedSink = nullptr;
void* installedContext = nullptr;
std::atomic<void*> storedModule{nullptr};
} // namespace

void setMessageSink(MessageSink sink, void* context)
{
    const std::lock_guard<std::recursive_mutex> hold(sinkLock);
    installedSink = sink;
    installedContext = sink ? context : nullptr;
}

void showMessage(const char* text)
{
    const std::lock_guard<std::recursive_mutex> hold(sinkLock);
    if (installedSink) {
        installedSink(installedContext, kMessageCaption, text);
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
