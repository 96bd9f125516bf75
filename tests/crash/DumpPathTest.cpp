#include "crash/CrashReport.h"
#include "crash/DumpPath.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr std::size_t kBufferUnits = 2000;

/// Formats folder's crash file name with format into a buffer with spare units of
/// room beyond the name and its terminator (negative: too little room).
template <typename TUnit, typename FFormat>
void CheckPath(FFormat format, const std::string& folder, const SDumpTime& time, const std::string& expected, int spare)
{
    const auto units = [](const std::string& text) { return std::basic_string<TUnit>(text.begin(), text.end()); };
    const std::size_t capacity = expected.size() + 1 + spare;
    std::basic_string<TUnit> buffer(kBufferUnits, '#');
    EXPECT_EQ(spare >= 0, format(&buffer[0], capacity, units(folder).c_str(), units("ScanServer-x64").c_str(), time));
    EXPECT_EQ(units(spare >= 0 ? expected : ""), std::basic_string<TUnit>(buffer.c_str()));
    EXPECT_EQ(std::basic_string<TUnit>(kBufferUnits - capacity, '#'), buffer.substr(capacity)) << "written past the buffer";
}

TEST(DumpPath, NamedAfterTheLocalTimeAndNeverWrittenPastTheBuffer)
{
    const struct {
        std::string folder;
        int64_t localSeconds; ///< since 1970, as the Linux handler has them
        const char* stamp;    ///< their calendar time, as the Windows filter has it
        int spare;
    } cases[] = {
        {"C:\\Dumps", 1709802301, "2024-03-07-09-05-01", 200},
        {"D:", 1798761599, "2026-12-31-23-59-59", 200},
        {"x", -30641760000, "0999-01-01-00-00-00", 200},
        {"x", 951825600, "2000-02-29-12-00-00", 200},
        {"x", -1, "1969-12-31-23-59-59", 200},
        {"x", 4107542400, "2100-03-01-00-00-00", 200},
        {"C:\\Dumps", 1709802301, "2024-03-07-09-05-01", 0}, // exactly enough room, terminator included
        {"C:\\Dumps", 1709802301, "2024-03-07-09-05-01", -1},
        {std::string(1000, 'f'), 1709802301, "2024-03-07-09-05-01", -800},
    };
    for (const auto& c : cases) {
        const SDumpTime time = DumpTimeFromSeconds(c.localSeconds);
        const std::string name = std::string("ScanServer-x64-") + c.stamp;
        CheckPath<char16_t>(FormatDumpPath, c.folder, time, c.folder + "\\" + name + ".mdmp", c.spare);
        CheckPath<char>(FormatReportPath, c.folder, time, c.folder + "/" + name + ".txt", c.spare);
    }
    std::u16string untouched(1, u'#');
    EXPECT_FALSE(FormatDumpPath(&untouched[0], 0, u"C:", u"ScanServer-x64", DumpTimeFromSeconds(0)));
}

TEST(CrashReport, EveryFactOnItsLineAndNeverWrittenPastTheBuffer)
{
    SCrashFacts facts;
    facts.server = "Tessivane Plugin Scan Server (Linux x64)";
    facts.signal = 11;
    facts.signalName = "SIGSEGV";
    facts.code = 1;
    facts.codeName = "SEGV_MAPERR";
    facts.faultAddress = 0x10;
    facts.threadId = 4242;
    facts.processId = 4240;
    facts.instruction = {0x7F0012345678, "/vst/Crash.so", 0x1678, "VSTPluginMain", 0x1F};
    facts.request = "/vst/Crash.so>0000BEEF";
    facts.frames[0] = facts.instruction;
    facts.frames[1] = {0x5500000001AB, "/usr/bin/scan-server", 0x1AB, nullptr, 0};
    facts.frames[2] = {0x42, nullptr, 0, nullptr, 0};
    facts.frameCount = 3;
    const std::string full = "Tessivane Plugin Scan Server (Linux x64) crashed\n"
                             "signal: 11 SIGSEGV, code 1 SEGV_MAPERR\n"
                             "address: 0x0000000000000010\n"
                             "thread: 4242 of process 4240\n"
                             "instruction: 0x00007F0012345678 /vst/Crash.so+0x1678 (VSTPluginMain+0x1F)\n"
                             "request: /vst/Crash.so>0000BEEF\n"
                             "backtrace:\n"
                             "#0 0x00007F0012345678 /vst/Crash.so+0x1678 (VSTPluginMain+0x1F)\n"
                             "#1 0x00005500000001AB /usr/bin/scan-server+0x1AB\n"
                             "#2 0x0000000000000042 ?\n";
    SCrashFacts unnamed = facts; // a code without a name, a negative id, no frames
    unnamed.codeName = "";
    unnamed.code = -6;
    unnamed.threadId = -1;
    unnamed.frameCount = 0;
    const struct {
        const SCrashFacts& facts;
        std::size_t capacity;
        std::string expected;
    } cases[] = {
        {facts, 4096, full},
        {facts, 30, full.substr(0, 30)},
        {facts, 0, ""},
        {unnamed, 4096, "Tessivane Plugin Scan Server (Linux x64) crashed\nsignal: 11 SIGSEGV, code -6\n"
                        "address: 0x0000000000000010\nthread: -1 of process 4240\n"
                        "instruction: 0x00007F0012345678 /vst/Crash.so+0x1678 (VSTPluginMain+0x1F)\n"
                        "request: /vst/Crash.so>0000BEEF\nbacktrace:\n"},
    };
    for (const auto& c : cases) {
        std::string buffer(4096 + 1, '#');
        const std::size_t length = FormatCrashReport(&buffer[0], c.capacity, c.facts);
        EXPECT_EQ(c.expected, buffer.substr(0, length));
        EXPECT_EQ(std::string(buffer.size() - c.capacity, '#'), buffer.substr(c.capacity)) << "written past the buffer";
    }
    NoteRequestForCrashReport(CString::FromUtf8(std::string(kCrashRequestBytes + 10, 'r').c_str()));
    EXPECT_EQ(std::string(kCrashRequestBytes, 'r'), RequestForCrashReport()) << "a long request is cut";
}

} // namespace
