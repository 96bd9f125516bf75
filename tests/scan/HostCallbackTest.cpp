#include "scan/HostCallback.h"

#include "support/RecordingSink.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

namespace {

// Every answer a plug-in may ask for is checked by the Reporter row of the end-to-end server table.
TEST(HostCallback, LogsEachCallOnce)
{
    struct SCase {
        int32_t opcode;
        const char* canDo;
        intptr_t answer;
        const char* log;
    };
    const SCase cases[] = {
        {3, nullptr, 0, "info:Audio master callback: 3 - audioMasterIdle\nwarn:Unhandled audioMaster opCode - 3\n"},
        {49, nullptr, 0, "info:Audio master callback: 49 - audioMasterGetInputSpeakerArrangement\n"
                         "warn:Unhandled audioMaster opCode - 49\n"},
        {50, nullptr, 0, "info:Audio master callback: 50 - <unknown>\nwarn:Unhandled audioMaster opCode - 50\n"},
        {INT_MIN, nullptr, 0, "info:Audio master callback: -2147483648 - <unknown>\n"
                              "warn:Unhandled audioMaster opCode - -2147483648\n"},
        {audioMasterCanDo, "SIZEWINDOW", 1, "info:Query host can do: 'SIZEWINDOW'\n"},
        {audioMasterCanDo, "sendVstMidiEventFlagIsRealtime", 1, "info:Query host can do: 'sendVstMidiEventFlagIsRealtime'\n"},
        {audioMasterCanDo, "shellCategor", 0, "info:Query host can do: 'shellCategor'\n"},
        {audioMasterCanDo, "shellCategoryX", 0, "info:Query host can do: 'shellCategoryX'\n"},
        {audioMasterCanDo, "caf\xE9", 0, "info:Query host can do: 'caf\xC3\xA9'\n"},
    };
    for (const SCase& c : cases) {
        CRecordingSink sink;
        EXPECT_EQ(c.answer, HostCallback(nullptr, c.opcode, 0, 0, const_cast<char*>(c.canDo), 0.0f)) << c.log;
        EXPECT_EQ(c.log, sink.Text());
    }
}

TEST(HostCallback, CopiesAtMostSixtyThreeCharactersAndATerminator)
{
    for (const std::size_t length : {std::size_t{0}, std::size_t{63}, std::size_t{64}, std::size_t{300}}) {
        const std::string text(length, 'v');
        char buffer[kHostStringRoom + 16];
        std::memset(buffer, 'x', sizeof buffer);
        const std::size_t copied = std::min<std::size_t>(length, 63);
        EXPECT_EQ(copied, CopyHostString(buffer, text.c_str()));
        EXPECT_EQ(text.substr(0, copied) + '\0' + std::string(sizeof buffer - copied - 1, 'x'),
                  std::string(buffer, sizeof buffer));
    }
}

} // namespace
