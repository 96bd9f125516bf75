#include "crash/DumpPath.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::u16string Formatted(const char16_t* folder, const SDumpTime& time, std::size_t capacity = 260)
{
    std::u16string buffer(capacity, u'#');
    if (!FormatDumpPath(&buffer[0], capacity, folder, u"ScanServer-x64", time))
        return u"<does not fit: " + std::u16string(buffer.c_str()) + u">";
    return buffer.c_str();
}

TEST(DumpPath, NamedAfterTheLocalTime)
{
    EXPECT_EQ(u"C:\\Dumps\\ScanServer-x64-2024-03-07-09-05-01.mdmp",
              Formatted(u"C:\\Dumps", SDumpTime{2024, 3, 7, 9, 5, 1}));
    EXPECT_EQ(u"D:\\ScanServer-x64-2026-12-31-23-59-59.mdmp", Formatted(u"D:", SDumpTime{2026, 12, 31, 23, 59, 59}));
    EXPECT_EQ(u"x\\ScanServer-x64-0999-01-01-00-00-00.mdmp", Formatted(u"x", SDumpTime{999, 1, 1, 0, 0, 0}));
}

TEST(DumpPath, NeverWritesPastTheBuffer)
{
    const std::u16string expected = u"C:\\Dumps\\ScanServer-x64-2024-03-07-09-05-01.mdmp";
    const SDumpTime time{2024, 3, 7, 9, 5, 1};
    // Exactly enough room (terminator included) fits; one unit less does not.
    EXPECT_EQ(expected, Formatted(u"C:\\Dumps", time, expected.size() + 1));
    EXPECT_EQ(u"<does not fit: >", Formatted(u"C:\\Dumps", time, expected.size()));

    // A folder far longer than the buffer: the guard units after it stay untouched.
    const std::u16string longFolder(1000, u'f');
    std::u16string buffer(300, u'#');
    EXPECT_FALSE(FormatDumpPath(&buffer[0], 260, longFolder.c_str(), u"ScanServer-x64", time));
    EXPECT_EQ(u'\0', buffer[0]);
    EXPECT_EQ(std::u16string(40, u'#'), buffer.substr(260));

    EXPECT_FALSE(FormatDumpPath(&buffer[0], 0, u"C:", u"ScanServer-x64", time));
}

} // namespace
