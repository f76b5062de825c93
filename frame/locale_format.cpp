#include "frame/locale_format.h"

#include <cwchar>

namespace kwill {

UINT GroupingFromLocaleText(const wchar_t* text) {
    if (!text) return 0;
    if (std::wcscmp(text, L"3;2;0") == 0) return 32;
    UINT value = 0;
    for (const wchar_t* p = text; *p >= L'0' && *p <= L'9'; ++p) {
        value = value * 10 + static_cast<UINT>(*p - L'0');
        if (value > 1000000) break;  // no real grouping is this long; keep the number sane
    }
    return value;
}

void DefaultEmptyDecimalSeparator(wchar_t (&decimal)[8], const wchar_t (&thousand)[8]) {
    if (decimal[0] != 0) return;
    decimal[0] = (thousand[0] == L'.' && thousand[1] == 0) ? L',' : L'.';
    decimal[1] = 0;
}

void ReadUserNumberFormat(wchar_t (&decimal)[8], wchar_t (&thousand)[8], NUMBERFMTW& format) {
    wchar_t grouping[39] = {};
    if (!::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SGROUPING, grouping, 39)) grouping[0] = 0;
    if (!::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, decimal, 8)) decimal[0] = 0;
    if (!::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, thousand, 8)) thousand[0] = 0;
    DefaultEmptyDecimalSeparator(decimal, thousand);

    wchar_t negative[8] = {};
    if (!::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_INEGNUMBER, negative, 8)) negative[0] = 0;

    format.NumDigits = 0;
    format.LeadingZero = 0;
    format.Grouping = GroupingFromLocaleText(grouping);
    format.lpDecimalSep = decimal;
    format.lpThousandSep = thousand;
    format.NegativeOrder = static_cast<UINT>(std::wcstoul(negative, nullptr, 10));
}

}  // namespace kwill
