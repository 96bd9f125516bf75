#include "process/OutputChannel.h"

#include "support/RecordingSink.h"

#include <gtest/gtest.h>

namespace {

TEST(OutputChannel, EachLogFunctionWritesOneTaggedLine)
{
    CRecordingSink sink;
    LogInfo(u"Tessivane Plugin Scan Server (x64)\n");
    LogWarn(u"Unhandled audioMaster opCode - %i\n", 5);
    LogError(u"%s\n", u"Bad magic");
    LogRecord(u"  \"id\":        \"%.8X\",\n", -1);
    WriteReady();
    const std::vector<std::string> expected = {
        "info:Tessivane Plugin Scan Server (x64)\n",
        "warn:Unhandled audioMaster opCode - 5\n",
        "error:Bad magic\n",
        ">:  \"id\":        \"FFFFFFFF\",\n",
        "ready:\n",
    };
    EXPECT_EQ(expected, sink.writes);
}

TEST(OutputChannel, MessagesTravelAsUtf8)
{
    CRecordingSink sink;
    LogInfo(u"Scanning plugin: '%s'\n", u"C:\\Caf\u00E9\\\U0001F3B9.dll");
    LogInfo(u"Found shell: %.8X - %S\n", 5, "Caf\xE9");
    const std::vector<std::string> expected = {
        "info:Scanning plugin: 'C:\\Caf\xC3\xA9\\\xF0\x9F\x8E\xB9.dll'\n",
        // A plug-in's 8-bit text is widened byte by byte, then sent as UTF-8.
        "info:Found shell: 00000005 - Caf\xC3\xA9\n",
    };
    EXPECT_EQ(expected, sink.writes);
}

TEST(OutputChannel, PluginTextCannotForgeLines)
{
    CRecordingSink sink;
    LogInfo(u"Found shell: %.8X - %S\n", 5, "Evil\nready:\n>:{\n");
    LogInfo(u"Query host can do: '%S'\n", "a\rb\n");
    LogInfo(u"Scanning plugin: '%s'\n", u"C:\\a.dll\rready:");
    LogInfo(u"Found shell: %.8X - %S\r\n", 5, "Evil\r");
    const std::vector<std::string> expected = {
        "info:Found shell: 00000005 - Evil?ready:?>:{?\n",
        "info:Query host can do: 'a?b?'\n",
        // A host splitting lines at carriage returns is not fooled either.
        "info:Scanning plugin: 'C:\\a.dll?ready:'\n",
        "info:Found shell: 00000005 - Evil??\n",
    };
    EXPECT_EQ(expected, sink.writes);
}

TEST(OutputChannel, WithoutASinkLinesAreDropped)
{
    IOutputSink* previous = GetOutputSink();
    SetOutputSink(nullptr);
    LogInfo(u"nobody listens\n");
    WriteReady();
    SetOutputSink(previous);
    CRecordingSink sink;
    LogInfo(u"x\n");
    EXPECT_EQ(std::vector<std::string>{"info:x\n"}, sink.writes);
}

} // namespace
