// Win32 implementation of the platform functions (the Windows DLLs).
#include "platform/platform.h"

#include <cstdlib>

#include <windows.h>

namespace platform {
namespace detail {
void showSystemMessage(const char* caption, const char* text)
{
    // Modal, no owner window, one OK button: the host's windows stay as they are.
    MessageBoxA(nullptr, text, caption, MB_OK);
}
} // namespace detail

namespace {

char asciiLower(char ch)
{
    return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
}

// Windows file names compare without case: "*.txt" finds "LEFT.TXT" too.
bool endsWithIgnoringCase(const std::string& name, const std::string& ending)
{
    if (name.size() <= ending.size())
        return false;
    const std::size_t start = name.size() - ending.size();
    for (std::size_t i = 0; i < ending.size(); ++i)
        if (asciiLower(name[start + i]) != asciiLower(ending[i]))
            return false;
    return true;
}

} // namespace

std::vector<std::string> listFiles(const std::string& folder, const std::string& extension)
{
    std::vector<std::string> names;
    const std::string pattern = folder + "\\*" + extension;
    WIN32_FIND_DATAA found {};
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        // Folders named like calibration files are not files to read.
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        // A three-letter pattern also matches through 8.3 short names: "*.txt" finds
        // "notes.txt~" (short name NOTES~1.TXT). Only names that really end so are kept.
        const std::string name = found.cFileName;
        if (endsWithIgnoringCase(name, extension))
            names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

char pathSeparator() { return '\\'; }

std::vector<std::string> sharedDataFolders()
{
    return {"c:\\Program Files", "c:\\Program Files (x86)"};
}

std::uint32_t tickCountMs() { return GetTickCount(); }

void sleepMs(unsigned milliseconds) { Sleep(milliseconds); }

} // namespace platform
