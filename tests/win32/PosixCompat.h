// The few POSIX calls the tests make that the Windows C runtime names differently; included
// ahead of every source of the Windows test programs (tests/CMakeLists.txt).
#pragma once

#include <cstdlib>
#include <cwchar>
#include <string>

// setenv(name, value, overwrite) through _putenv, which copies the text it is given.
inline int setenv(const char* name, const char* value, int overwrite)
{
    if (!overwrite && std::getenv(name))
        return 0;
    return _putenv((std::string(name) + "=" + value).c_str());
}

// std::filesystem::path::c_str() is a wide string on Windows; the value is converted through
// the current code page.
inline int setenv(const char* name, const wchar_t* value, int overwrite)
{
    std::mbstate_t state {};
    const std::size_t length = std::wcsrtombs(nullptr, &value, 0, &state);
    if (length == static_cast<std::size_t>(-1))
        return -1;
    std::string narrow(length, '\0');
    std::wcsrtombs(narrow.data(), &value, length + 1, &state);
    return setenv(name, narrow.c_str(), overwrite);
}

// unsetenv(name): an empty assignment removes the variable from the Windows environment.
inline int unsetenv(const char* name)
{
    return _putenv((std::string(name) + "=").c_str());
}
