#include "crash/DumpPath.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(DumpPath, NamedAfterTheLocalTimeAndNeverWrittenPastTheBuffer)
{
    const SDumpTime time{2024, 3, 7, 9, 5, 1};
    const std::u16string name = u"C:\\Dumps\\ScanServer-x64-2024-03-07-09-05-01.mdmp", longFolder(1000, u'f');
    const struct {
        const char16_t* folder;
        SDumpTime time;
        std::size_t capacity; ///< of a buffer of 300 units
        const char16_t* expected; ///< null: does not fit, leaving an empty text
    } cases[] = {
        {u"C:\\Dumps", time, 260, name.c_str()},
        {u"D:", {2026, 12, 31, 23, 59, 59}, 260, u"D:\\ScanServer-x64-2026-12-31-23-59-59.mdmp"},
        {u"x", {999, 1, 1, 0, 0, 0}, 260, u"x\\ScanServer-x64-0999-01-01-00-00-00.mdmp"},
        {u"C:\\Dumps", time, name.size() + 1, name.c_str()}, // exactly enough room, terminator included
        {u"C:\\Dumps", time, name.size(), nullptr},
        {longFolder.c_str(), time, 260, nullptr},
    };
    for (const auto& c : cases) {
        std::u16string buffer(300, u'#');
        EXPECT_EQ(c.expected != nullptr, FormatDumpPath(&buffer[0], c.capacity, c.folder, u"ScanServer-x64", c.time));
        EXPECT_EQ(c.expected != nullptr ? c.expected : u"", std::u16string(buffer.c_str()));
        EXPECT_EQ(std::u16string(300 - c.capacity, u'#'), buffer.substr(c.capacity)) << "written past the buffer";
    }
    std::u16string untouched(1, u'#');
    EXPECT_FALSE(FormatDumpPath(&untouched[0], 0, u"C:", u"ScanServer-x64", time));
}

} // namespace
