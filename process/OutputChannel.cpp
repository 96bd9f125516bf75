#include "process/OutputChannel.h"

#include "foundation/String.h"
#include "wire/Protocol.h"

#include <cstring>

namespace {

IOutputSink* g_outputSink = nullptr;

/// A message is one line: a line feed or carriage return inside it (a plug-in's
/// name, a can-do text, the host's own request echoed back) would let its author
/// forge lines such as "ready:" for a host that splits lines at either, so it
/// becomes '?'. The message's own final line feed stays.
void KeepOnOneLine(CString& message)
{
    const int length = message.GetLength();
    for (int i = 0; i < length; ++i) {
        const char16_t unit = message.GetText()[i];
        if (unit == u'\r' || (unit == u'\n' && i < length - 1))
            message.GetBuffer(length)[i] = u'?';
    }
}

void WriteLine(const CAnsiString& line)
{
    if (g_outputSink != nullptr && line.GetText() != nullptr)
        g_outputSink->WriteAndFlush(line.GetText(), std::strlen(line.GetText()));
}

} // namespace

void SetOutputSink(IOutputSink* sink) { g_outputSink = sink; }

IOutputSink* GetOutputSink() { return g_outputSink; }

void LogLine(const char* tag, const char16_t* format, va_list arguments)
{
    CAnsiString line;
    line.Assign(tag);
    line.Append(kTagSeparator);
    CString message = CString::FormatV(format, arguments);
    KeepOnOneLine(message);
    line.Append(CAnsiString::ToUtf8(message).GetText());
    WriteLine(line);
}

#define SCANSERVER_DEFINE_LOG_FUNCTION(name, tag)                                                  \
    void name(const char16_t* format, ...)                                                         \
    {                                                                                              \
        va_list arguments;                                                                         \
        va_start(arguments, format);                                                               \
        LogLine(tag, format, arguments);                                                           \
        va_end(arguments);                                                                         \
    }

SCANSERVER_DEFINE_LOG_FUNCTION(LogInfo, kTagInfo)
SCANSERVER_DEFINE_LOG_FUNCTION(LogWarn, kTagWarn)
SCANSERVER_DEFINE_LOG_FUNCTION(LogError, kTagError)
SCANSERVER_DEFINE_LOG_FUNCTION(LogRecord, kTagRecord)

#undef SCANSERVER_DEFINE_LOG_FUNCTION

void WriteReady()
{
    if (g_outputSink == nullptr)
        return;
    char line[sizeof kReadyLine]; // the marker and its line end, no terminator
    std::memcpy(line, kReadyLine, sizeof kReadyLine - 1);
    line[sizeof kReadyLine - 1] = kLineEnd;
    g_outputSink->WriteAndFlush(line, sizeof line);
}
