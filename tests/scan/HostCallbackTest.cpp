#include "scan/HostCallback.h"

#include "scan/ScanState.h"
#include "support/RecordingSink.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

using CLines = std::vector<std::string>;

struct SCallResult {
    intptr_t answer;
    CLines lines;
};

SCallResult Call(int32_t opcode, void* ptr = nullptr)
{
    CRecordingSink sink;
    const intptr_t answer = HostCallback(nullptr, opcode, 0, 0, ptr, 0.0f);
    return {answer, sink.writes};
}

std::string Utf8(const CString& text)
{
    const CAnsiString bytes = CAnsiString::ToUtf8(text);
    return bytes.GetText() != nullptr ? bytes.GetText() : "";
}

std::string CallbackLine(int32_t opcode, const std::string& name)
{
    return "info:Audio master callback: " + std::to_string(opcode) + " - " + name + "\n";
}

std::string UnhandledLine(int32_t opcode)
{
    return "warn:Unhandled audioMaster opCode - " + std::to_string(opcode) + "\n";
}

// Restores the shared scan state that a test changes.
class HostCallbackTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        g_currentShellId = 0;
        g_wantMidiCalled = false;
    }
};

struct SAnswerCase {
    int32_t opcode;
    const char* name;
    intptr_t answer;
    bool warns;
};

TEST_F(HostCallbackTest, AnswersAndLogsEachOpcode)
{
    const SAnswerCase cases[] = {
        {0, "audioMasterAutomate", 0, false},
        {1, "audioMasterVersion", 2400, false},
        {2, "audioMasterCurrentId", 0, false},
        {3, "audioMasterIdle", 0, true},
        {4, "audioMasterPinConnected", 0, true},
        {5, "<unknown>", 0, true},
        {6, "audioMasterWantMidi", 0, false},
        {7, "audioMasterGetTime", 0, true},
        {13, "audioMasterIOChanged", 0, true},
        {14, "audioMasterNeedIdle", 1, false},
        {15, "audioMasterSizeWindow", 0, true},
        {16, "audioMasterGetSampleRate", 44100, false},
        {17, "audioMasterGetBlockSize", 512, false},
        {23, "audioMasterGetCurrentProcessLevel", 4, false},
        {34, "audioMasterGetVendorVersion", 3, false},
        {35, "audioMasterVendorSpecific", 0, true},
        {45, "audioMasterOpenFileSelector", 0, true},
        {49, "audioMasterGetInputSpeakerArrangement", 0, true},
        {50, "<unknown>", 0, true},
        {-1, "<unknown>", 0, true},
        {INT32_MIN, "<unknown>", 0, true},
    };
    for (const SAnswerCase& c : cases) {
        SCOPED_TRACE(c.opcode);
        const SCallResult result = Call(c.opcode);
        EXPECT_EQ(result.answer, c.answer);
        CLines expected = {CallbackLine(c.opcode, c.name)};
        if (c.warns)
            expected.push_back(UnhandledLine(c.opcode));
        EXPECT_EQ(result.lines, expected);
    }
}

TEST(AudioMasterOpcodeNameTest, NamesEveryOpcodeButFive)
{
    const char* const names[] = {
        "audioMasterAutomate", "audioMasterVersion", "audioMasterCurrentId", "audioMasterIdle",
        "audioMasterPinConnected", "<unknown>", "audioMasterWantMidi", "audioMasterGetTime",
        "audioMasterProcessEvents", "audioMasterSetTime", "audioMasterTempoAt",
        "audioMasterGetNumAutomatableParameters", "audioMasterGetParameterQuantization", "audioMasterIOChanged",
        "audioMasterNeedIdle", "audioMasterSizeWindow", "audioMasterGetSampleRate", "audioMasterGetBlockSize",
        "audioMasterGetInputLatency", "audioMasterGetOutputLatency", "audioMasterGetPreviousPlug",
        "audioMasterGetNextPlug", "audioMasterWillReplaceOrAccumulate", "audioMasterGetCurrentProcessLevel",
        "audioMasterGetAutomationState", "audioMasterOfflineStart", "audioMasterOfflineRead",
        "audioMasterOfflineWrite", "audioMasterOfflineGetCurrentPass", "audioMasterOfflineGetCurrentMetaPass",
        "audioMasterSetOutputSampleRate", "audioMasterGetOutputSpeakerArrangement", "audioMasterGetVendorString",
        "audioMasterGetProductString", "audioMasterGetVendorVersion", "audioMasterVendorSpecific",
        "audioMasterSetIcon", "audioMasterCanDo", "audioMasterGetLanguage", "audioMasterOpenWindow",
        "audioMasterCloseWindow", "audioMasterGetDirectory", "audioMasterUpdateDisplay", "audioMasterBeginEdit",
        "audioMasterEndEdit", "audioMasterOpenFileSelector", "audioMasterCloseFileSelector", "audioMasterEditFile",
        "audioMasterGetChunkFile", "audioMasterGetInputSpeakerArrangement",
    };
    static_assert(sizeof names / sizeof names[0] == 50, "opcodes 0 to 49");
    for (int32_t opcode = 0; opcode < 50; ++opcode) {
        SCOPED_TRACE(opcode);
        EXPECT_EQ(Utf8(AudioMasterOpcodeName(opcode)), names[opcode]);
    }
    for (int32_t opcode : {50, 51, 70, -1, INT32_MIN, INT32_MAX})
        EXPECT_EQ(Utf8(AudioMasterOpcodeName(opcode)), "<unknown>") << opcode;
}

struct SCanDoCase {
    const char* text;
    intptr_t answer;
    const char* logged;  // the text as it appears in the UTF-8 log line
};

TEST_F(HostCallbackTest, CanDoIgnoresAsciiCaseAndLogsOnlyTheQuery)
{
    const SCanDoCase cases[] = {
        {"sizeWindow", 1, "sizeWindow"},
        {"sendVstEvents", 1, "sendVstEvents"},
        {"sendVstMidiEvent", 1, "sendVstMidiEvent"},
        {"sendVstTimeInfo", 1, "sendVstTimeInfo"},
        {"supplyIdle", 1, "supplyIdle"},
        {"receiveVstEvents", 1, "receiveVstEvents"},
        {"receiveVstMidiEvent", 1, "receiveVstMidiEvent"},
        {"startStopProcess", 1, "startStopProcess"},
        {"sendVstMidiEventFlagIsRealtime", 1, "sendVstMidiEventFlagIsRealtime"},
        {"shellCategory", 1, "shellCategory"},
        {"ShellCategory", 1, "ShellCategory"},
        {"SIZEWINDOW", 1, "SIZEWINDOW"},
        {"openFileSelector", 0, "openFileSelector"},
        {"shellCategor", 0, "shellCategor"},
        {"shellCategoryX", 0, "shellCategoryX"},
        {"receiveVstMidiEvents", 0, "receiveVstMidiEvents"},
        {"", 0, ""},
        {"caf\xE9", 0, "caf\xC3\xA9"},
    };
    for (const SCanDoCase& c : cases) {
        SCOPED_TRACE(c.text);
        const SCallResult result = Call(audioMasterCanDo, const_cast<char*>(c.text));
        EXPECT_EQ(result.answer, c.answer);
        EXPECT_EQ(result.lines, CLines{std::string("info:Query host can do: '") + c.logged + "'\n"});
    }
}

struct SStringCase {
    int32_t opcode;
    const char* name;
    const char* text;
};

TEST_F(HostCallbackTest, CopiesVendorAndProductWithTerminatorOnly)
{
    const SStringCase cases[] = {
        {audioMasterGetVendorString, "audioMasterGetVendorString", "Vostrel Software"},
        {audioMasterGetProductString, "audioMasterGetProductString", "Tessivane"},
    };
    for (const SStringCase& c : cases) {
        SCOPED_TRACE(c.name);
        char buffer[kHostStringRoom + 16];
        std::memset(buffer, 'x', sizeof buffer);
        const SCallResult result = Call(c.opcode, buffer);
        EXPECT_EQ(result.answer, 1);
        EXPECT_EQ(result.lines, CLines{CallbackLine(c.opcode, c.name)});
        const std::size_t length = std::strlen(c.text);
        EXPECT_EQ(std::string(buffer, length + 1), std::string(c.text, length + 1));
        for (std::size_t i = length + 1; i < sizeof buffer; ++i)
            ASSERT_EQ(buffer[i], 'x') << "byte " << i << " written";
    }
}

struct SCopyCase {
    std::size_t textLength;
    std::size_t copied;
};

TEST(CopyHostStringTest, CopiesAtMostSixtyThreeCharactersAndATerminator)
{
    const SCopyCase cases[] = {{0, 0}, {1, 1}, {62, 62}, {63, 63}, {64, 63}, {65, 63}, {300, 63}};
    for (const SCopyCase& c : cases) {
        SCOPED_TRACE(c.textLength);
        std::string text;
        for (std::size_t i = 0; i < c.textLength; ++i)
            text += static_cast<char>('a' + i % 26);
        char buffer[kHostStringRoom + 16];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(CopyHostString(buffer, text.c_str()), c.copied);
        EXPECT_EQ(std::string(buffer), text.substr(0, c.copied));
        for (std::size_t i = c.copied + 1; i < sizeof buffer; ++i)
            ASSERT_EQ(buffer[i], 'x') << "byte " << i << " written";
    }
}

struct SCurrentIdCase {
    int32_t shellId;
    intptr_t answer;
};

TEST_F(HostCallbackTest, CurrentIdIsTheRequestsSubPluginIdSignExtended)
{
    const SCurrentIdCase cases[] = {
        {0, 0},
        {0xBEEF, 0xBEEF},
        {0x7FFFFFFF, 0x7FFFFFFF},
        {-1, -1},
        {INT32_MIN, static_cast<intptr_t>(INT32_MIN)},
    };
    for (const SCurrentIdCase& c : cases) {
        SCOPED_TRACE(c.shellId);
        g_currentShellId = c.shellId;
        const SCallResult result = Call(audioMasterCurrentId);
        EXPECT_EQ(result.answer, c.answer);
        EXPECT_EQ(result.lines, CLines{CallbackLine(2, "audioMasterCurrentId")});
    }
}

TEST_F(HostCallbackTest, OnlyWantMidiSetsTheMidiNote)
{
    char capability[] = "receiveVstMidiEvent";
    for (int32_t opcode : {0, 1, 2, 5, 7, 8, 14, 23, 34, 49})
        Call(opcode);
    Call(audioMasterCanDo, capability);
    EXPECT_FALSE(g_wantMidiCalled);

    Call(audioMasterWantMidi);
    EXPECT_TRUE(g_wantMidiCalled);
}

TEST_F(HostCallbackTest, NullTextPointersAreAnsweredZero)
{
    const SCallResult vendor = Call(audioMasterGetVendorString);
    EXPECT_EQ(vendor.answer, 0);
    EXPECT_EQ(vendor.lines, CLines{CallbackLine(32, "audioMasterGetVendorString")});

    const SCallResult product = Call(audioMasterGetProductString);
    EXPECT_EQ(product.answer, 0);
    EXPECT_EQ(product.lines, CLines{CallbackLine(33, "audioMasterGetProductString")});

    const SCallResult canDo = Call(audioMasterCanDo);
    EXPECT_EQ(canDo.answer, 0);
    EXPECT_EQ(canDo.lines, CLines{"info:Query host can do: '(null)'\n"});
}

TEST_F(HostCallbackTest, IgnoresEffectIndexValueAndOpt)
{
    AEffect effect{};
    g_currentShellId = 0x1234;
    CRecordingSink sink;
    EXPECT_EQ(HostCallback(&effect, audioMasterCurrentId, 77, -5, &effect, 0.5f), 0x1234);
    EXPECT_EQ(HostCallback(&effect, audioMasterGetSampleRate, -1, 12345, nullptr, -2.0f), 44100);
    EXPECT_EQ(sink.writes, (CLines{CallbackLine(2, "audioMasterCurrentId"), CallbackLine(16, "audioMasterGetSampleRate")}));
}

} // namespace
