// Writes sample records to stdout exactly as the server sends them, each followed
// by a line "--", for record-json-readers.js to feed to real JSON readers. The
// records here and the values that script expects are kept side by side: change
// both together.

#include "process/OutputChannel.h"
#include "scan/PluginInfo.h"
#include "scan/RecordJson.h"
#include "support/RecordSupport.h"

#include <cstdint>
#include <cstdio>

namespace {

class CStdoutSink : public IOutputSink {
public:
    void WriteAndFlush(const char* bytes, std::size_t count) override
    {
        std::fwrite(bytes, 1, count, stdout);
        std::fflush(stdout);
    }
};

void Emit(const CPluginInfo& record)
{
    WriteRecordJson(record);
    std::fputs("--\n", stdout);
}

void EveryEscape()
{
    CPluginInfo record;
    record.id = 0x41626364;
    record.name = Text(u"Bass \"Pro\"/2 \\ \b\f\n\r\t\x01\x1F\x7F");
    record.vendor = Text(u"Caf\u00e9 \u65e5\u672c \U0001F3B9 \uFFFF");
    record.version = Text(u"1.2.0");
    record.numInputs = 2;
    record.numOutputs = 16;
    record.wantsMidi = true;
    record.sendsMidi = true;
    record.audio64 = true;
    record.category = 2;
    record.synthEdit = true;
    Emit(record);
}

void Shell()
{
    CPluginInfo record;
    record.id = -2;
    record.name = Text(u"Shell, {with} [brackets]: ,}");
    record.version = Text(u"1000");
    record.numOutputs = 2;
    record.category = 10;
    AddShell(record, 0x5A5A0001, u"Strings \"Ensemble\"");
    AddShell(record, -1, nullptr);
    AddShell(record, INT32_MIN, u"\u00dcber/Pad");
    Emit(record);
}

} // namespace

int main()
{
    CStdoutSink sink;
    SetOutputSink(&sink);
    EveryEscape();
    Shell();
    SetOutputSink(nullptr);
    return 0;
}
