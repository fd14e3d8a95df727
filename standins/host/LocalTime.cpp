#include "LocalTime.h"

#include <oleauto.h>

#include <cwchar>
#include <cwctype>

namespace qs::standin {

bool ParseLocalTime(const std::wstring& text, DATE* date) {
    const wchar_t* kPattern = L"0000-00-00 00:00:00";
    if (text.size() != std::wcslen(kPattern)) return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (kPattern[i] == L'0' ? !std::iswdigit(text[i]) : text[i] != kPattern[i]) return false;
    unsigned year, month, day, hour, minute, second;
    if (std::swscanf(text.c_str(), L"%u-%u-%u %u:%u:%u", &year, &month, &day, &hour, &minute,
                     &second) != 6)
        return false;
    SYSTEMTIME time = {};
    time.wYear = static_cast<WORD>(year);
    time.wMonth = static_cast<WORD>(month);
    time.wDay = static_cast<WORD>(day);
    time.wHour = static_cast<WORD>(hour);
    time.wMinute = static_cast<WORD>(minute);
    time.wSecond = static_cast<WORD>(second);
    // The conversion rolls a day past the month's end over into the next
    // month: the way back must give the same day.
    SYSTEMTIME back;
    return month >= 1 && month <= 12 && hour < 24 && minute < 60 && second < 60 &&
           ::SystemTimeToVariantTime(&time, date) && ::VariantTimeToSystemTime(*date, &back) &&
           back.wDay == day && back.wMonth == month;
}

std::wstring FormatLocalTime(DATE date) {
    SYSTEMTIME time;
    if (!::VariantTimeToSystemTime(date, &time)) return L"?";
    wchar_t text[32];
    std::swprintf(text, 32, L"%04u-%02u-%02u %02u:%02u:%02u", time.wYear, time.wMonth, time.wDay,
                  time.wHour, time.wMinute, time.wSecond);
    return text;
}

} // namespace qs::standin
