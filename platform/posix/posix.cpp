// POSIX implementation of the platform functions (Linux builds).
#include "platform/platform.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <sys/stat.h>

namespace platform {
namespace detail {
void showSystemMessage(const char* caption, const char* text)
{
    std::fprintf(stderr, "%s: %s\n", caption, text);
    std::fflush(stderr);
}
} // namespace detail

std::vector<std::string> listFiles(const std::string& folder, const std::string& extension)
{
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return names;
    while (const dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name.size() <= extension.size()
            || name.compare(name.size() - extension.size(), extension.size(), extension) != 0)
            continue;
        struct stat info {};
        // Folders named like calibration files are not files to read.
        if (stat(joinPath(folder, name).c_str(), &info) == 0 && S_ISDIR(info.st_mode))
            continue;
        names.push_back(std::move(name));
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

char pathSeparator() { return '/'; }

std::vector<std::string> sharedDataFolders()
{
    std::vector<std::string> folders;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (dataHome && *dataHome)
        folders.push_back(dataHome);
    else if (home && *home)
        folders.push_back(std::string(home) + "/.local/share");
    folders.push_back("/usr/share");
    return folders;
}

std::uint32_t tickCountMs()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(now.tv_sec) * 1000u
                                      + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u);
}

void sleepMs(unsigned milliseconds)
{
    timespec pause {};
    pause.tv_sec = milliseconds / 1000;
    pause.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (nanosleep(&pause, &pause) != 0) {
    }
}

} // namespace platform
