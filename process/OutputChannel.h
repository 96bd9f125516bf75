#pragma once
/// The output channel: every line the server sends to the host.
///
/// A line is a narrow tag, a colon and the UTF-8 message text, written in one
/// write and flushed at once, so the host sees the last thing the server did
/// before a crash. Messages bring their own "\n". Tags: "info", "warn",
/// "error", ">" (record lines); the request loop writes the "ready:" marker.

#include <cstddef>
#include <cstdarg>

/// Where output lines go: the host's pipe on Windows, a recorder in tests.
class IOutputSink {
public:
    virtual ~IOutputSink() = default;
    /// Writes the bytes in one piece and flushes them; failures are ignored.
    virtual void WriteAndFlush(const char* bytes, std::size_t count) = 0;
};

/// Routes every later line to sink (null: lines are dropped). Not owned.
void SetOutputSink(IOutputSink* sink);
IOutputSink* GetOutputSink();

/// Formats the message with CString::FormatV and writes "tag:message" as one line.
void LogLine(const char* tag, const char16_t* format, va_list arguments);
void LogInfo(const char16_t* format, ...);
void LogWarn(const char16_t* format, ...);
void LogError(const char16_t* format, ...);
/// A line of the plug-in record (tag ">").
void LogRecord(const char16_t* format, ...);

/// Writes the 7 bytes "ready:\n".
void WriteReady();
