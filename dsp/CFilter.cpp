#include "dsp/CFilter.h"

#include <cstring>

CFilter::CFilter()
{
    std::memset(name, 0, sizeof name);
}

void CFilter::setName(const char* text)
{
    std::strncpy(name, text ? text : "", kNameSize - 1);
    name[kNameSize - 1] = '\0';
}
