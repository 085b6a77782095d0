// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "wmi_query.h"
#include "wmi_value.h"

#include <cerrno>
#include <cstdlib>

namespace {

bool parseWholeNumber(const std::string& text, long long& number)
{
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    number = std::strtoll(begin, &end, 10);
    if (end == begin || errno == ERANGE)
        return false;
    while (*end == ' ')
        ++end;
    return *end == '\0';
}

} // namespace

int storeWmiValue(int kind, const std::string& value, void* target)
{
    long long number = 0;
    switch (kind) {
    case kWmiText:
        *static_cast<std::string*>(target) = value;
        return kWmiOk;
    case kWmiInt16:
    case kWmiInt16b:
        if (parseWholeNumber(value, number))
            *static_cast<int16_t*>(target) = static_cast<int16_t>(number);
        return kWmiOk;
    case kWmiInt32:
    case kWmiInt32b:
        if (parseWholeNumber(value, number))
            *static_cast<int32_t*>(target) = static_cast<int32_t>(number);
        return kWmiOk;
    case kWmiInt64:
    case kWmiInt64b:
        if (parseWholeNumber(value, number))
            *static_cast<int64_t*>(target) = static_cast<int64_t>(number);
        return kWmiOk;
    default:
        return kWmiBadKind;
    }
}
