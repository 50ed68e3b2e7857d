// The few services of the operating system that the portable core needs. Each platform folder
// (platform/posix, platform/win32) defines every function declared here; CMake picks one set.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// The caption of every message the plug-in shows.
inline constexpr const char* kMessageCaption = "SonquadVST";

// Receives messages instead of the platform's own display (a modal box on Windows, standard
// error elsewhere). Tests and the command-line host install one to collect the texts.
using MessageSink = void (*)(void* context, const char* caption, const char* text);

// [any thread] Installs a process-wide sink, or removes it with nullptr.
void setMessageSink(MessageSink sink, void* context);

// [any thread but the audio thread] Shows text with the caption "SonquadVST" and one OK button,
// with no owner window; goes to the installed sink when there is one. It may block (a modal box).
void showMessage(const char* text);

// [host thread] The names (not paths) of the files in folder whose names end with extension
// (".txt", ".sonq"), compared case-sensitively on POSIX, in a stable order (byte-wise sorted on
// POSIX, the file system's order on Windows). Empty when the folder is missing or unreadable.
std::vector<std::string> listFiles(const std::string& folder, const std::string& extension);

// The separator between a folder and a name: '/' on POSIX, '\\' on Windows.
char pathSeparator();

// folder + separator + name.
std::string joinPath(const std::string& folder, const std::string& name);

// The folders where installed programs keep data for all their users, in the order a program
// looks in them: on POSIX $XDG_DATA_HOME (default ~/.local/share), then /usr/share; on Windows
// "c:\Program Files", then "c:\Program Files (x86)".
std::vector<std::string> sharedDataFolders();

// Milliseconds of a monotonic clock; wraps around like a 32-bit tick count.
std::uint32_t tickCountMs();

// Pauses the calling thread.
void sleepMs(unsigned milliseconds);

// The module (DLL) instance handle stored by the entry glue; null where none is needed.
void* moduleHandle();
void setModuleHandle(void* handle);

} // namespace platform
