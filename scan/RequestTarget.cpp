#include "scan/RequestTarget.h"

#include "process/HexNumber.h"
#include "wire/Protocol.h"

SScanTarget SplitRequest(const CString& text)
{
    SScanTarget target;
    const char16_t* units = text.GetText() != nullptr ? text.GetText() : u"";
    int length = 0;
    while (units[length] != 0 && units[length] != kShellIdMarker)
        ++length;
    target.path.Assign(units, length);
    if (units[length] == kShellIdMarker)
        target.shellId = static_cast<int32_t>(static_cast<uint32_t>(ParseHexArgument(units + length + 1)));
    return target;
}
