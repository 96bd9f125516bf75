#include "client/ServerWindows.h"

#include "client/WideTextWin.h"
#include "foundation/Win32.h"
#include "wire/Protocol.h"

namespace {

struct SSearch {
    DWORD processId;
    std::wstring splashClass; ///< the class of the server's splash window, which is left out
    std::vector<std::string> titles;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM parameter)
{
    SSearch& search = *reinterpret_cast<SSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search.processId || !IsWindowVisible(window))
        return TRUE;
    wchar_t className[64] = {};
    GetClassNameW(window, className, sizeof className / sizeof className[0]);
    if (search.splashClass == className)
        return TRUE;
    wchar_t title[512] = {};
    const int length = GetWindowTextW(window, title, sizeof title / sizeof title[0]);
    search.titles.push_back(length > 0 ? Utf8FromWide(std::wstring(title, static_cast<std::size_t>(length)))
                                       : std::string("(untitled window)"));
    return TRUE;
}

} // namespace

std::vector<std::string> VisibleWindowTitles(uint32_t processId)
{
    SSearch search{processId, WideFromUtf8(kSplashWindowClass), {}};
    if (processId != 0)
        EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.titles;
}
