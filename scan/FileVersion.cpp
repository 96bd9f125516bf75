#include "scan/FileVersion.h"

CString FormatFileVersion(const SFileVersion& version)
{
    uint32_t most = version.productMostSignificant;
    uint32_t least = version.productLeastSignificant;
    if (most == 0 && least == 0) {
        most = version.fileMostSignificant;
        least = version.fileLeastSignificant;
    }
    if (most == 0 && least == 0)
        return CString();
    return CString::Format(u"%i.%i.%i.%i", static_cast<int>(most >> 16), static_cast<int>(most & 0xFFFF),
                           static_cast<int>(least >> 16), static_cast<int>(least & 0xFFFF));
}

CString GetFileVersionText(const CString& path)
{
    SFileVersion version;
    if (!GetScanPlatform().ReadFileVersion(path, version))
        return CString();
    return FormatFileVersion(version);
}
