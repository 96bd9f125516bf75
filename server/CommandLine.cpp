#include "server/CommandLine.h"

namespace {

int HexDigitValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

} // namespace

uint64_t ParseHexArgument(const char16_t* text)
{
    uint64_t value = 0;
    if (text == nullptr)
        return value;
    for (int digit; (digit = HexDigitValue(*text)) >= 0; ++text)
        value = (value << 4) | static_cast<uint64_t>(digit);
    return value;
}

SServerArguments ParseServerArguments(int count, const char16_t* const* arguments)
{
    SServerArguments parsed;
    if (count > 1)
        parsed.inputHandle = ParseHexArgument(arguments[1]);
    if (count > 2)
        parsed.outputHandle = ParseHexArgument(arguments[2]);
    if (count > 3)
        parsed.ownerWindow = ParseHexArgument(arguments[3]);
    if (count > 4 && arguments[4] != nullptr && arguments[4][0] != 0)
        parsed.dumpFolder.Assign(arguments[4]);
    return parsed;
}
