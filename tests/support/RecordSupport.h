#pragma once
// Building records and strings in tests.

#include "scan/PluginInfo.h"

#include <cstdint>

/// A CString holding text (null stays null).
inline CString Text(const char16_t* text)
{
    CString string;
    string.Assign(text);
    return string;
}

/// Appends a sub-plug-in to the record's list.
inline void AddShell(CPluginInfo& record, std::int32_t id, const char16_t* name)
{
    CShellInfo* shell = new CShellInfo;
    shell->id = id;
    shell->name = Text(name);
    record.shells.Add(shell);
}
