#include "server/CommandLine.h"

#include "process/HexNumber.h"

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
