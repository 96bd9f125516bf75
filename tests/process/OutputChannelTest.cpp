#include "process/OutputChannel.h"

#include "support/RecordingSink.h"

#include <gtest/gtest.h>

namespace {

TEST(OutputChannel, EachCallIsOneTaggedUtf8LineThatPluginTextCannotForge)
{
    IOutputSink* previous = GetOutputSink();
    SetOutputSink(nullptr);
    LogInfo(u"nobody listens\n");
    WriteReady();
    SetOutputSink(previous);

    CRecordingSink sink;
    LogInfo(u"Scanning plugin: '%s'\n", u"C:\\Caf\u00E9\\\U0001F3B9.dll");
    LogWarn(u"Unhandled audioMaster opCode - %i\n", 5);
    LogError(u"%s\n", u"Bad magic");
    LogRecord(u"  \"id\":        \"%.8X\",\n", -1);
    WriteReady();
    // A plug-in's 8-bit text is widened byte by byte; line breaks inside a line become '?'.
    LogInfo(u"Found shell: %.8X - %S\n", 5, "Caf\xE9\nready:\n>:{\n");
    LogInfo(u"Scanning plugin: '%s'\r\n", u"C:\\a.dll\rready:");
    const std::vector<std::string> expected = {
        "info:Scanning plugin: 'C:\\Caf\xC3\xA9\\\xF0\x9F\x8E\xB9.dll'\n",
        "warn:Unhandled audioMaster opCode - 5\n",
        "error:Bad magic\n",
        ">:  \"id\":        \"FFFFFFFF\",\n",
        "ready:\n",
        "info:Found shell: 00000005 - Caf\xC3\xA9?ready:?>:{?\n",
        "info:Scanning plugin: 'C:\\a.dll?ready:'?\n",
    };
    EXPECT_EQ(expected, sink.writes);
}

} // namespace
