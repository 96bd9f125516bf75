#include "process/HexNumber.h"

namespace {

constexpr int kNotAHexDigit = -1;

int HexDigitValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return kNotAHexDigit;
}

} // namespace

uint64_t ParseHexArgument(const char16_t* text)
{
    uint64_t value = 0;
    if (text == nullptr)
        return value;
    for (int digit; (digit = HexDigitValue(*text)) != kNotAHexDigit; ++text)
        value = (value << 4) | static_cast<uint64_t>(digit);
    return value;
}
