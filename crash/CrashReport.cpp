#include "crash/CrashReport.h"

#include <cstring>

namespace {

/// Appends to a fixed byte buffer, dropping what does not fit.
class CReportWriter {
public:
    CReportWriter(char* buffer, std::size_t capacity) : m_buffer(buffer), m_capacity(capacity) {}

    CReportWriter& Text(const char* text)
    {
        for (; text != nullptr && *text != 0; ++text)
            Byte(*text);
        return *this;
    }

    CReportWriter& Decimal(long value)
    {
        unsigned long magnitude = value < 0 ? 0ul - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
        if (value < 0)
            Byte('-');
        char reversed[24];
        int count = 0;
        do {
            reversed[count++] = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0);
        while (count > 0)
            Byte(reversed[--count]);
        return *this;
    }

    /// "0x" and upper-case hexadecimal digits, at least digits of them.
    CReportWriter& Hex(uintptr_t value, int digits = 1)
    {
        Text("0x");
        char reversed[2 * sizeof value];
        int count = 0;
        do {
            reversed[count++] = "0123456789ABCDEF"[value & 0xF];
            value >>= 4;
        } while (value != 0);
        while (count < digits)
            reversed[count++] = '0';
        while (count > 0)
            Byte(reversed[--count]);
        return *this;
    }

    CReportWriter& Place(const SCodePlace& place)
    {
        Hex(place.address, 2 * sizeof place.address).Text(" ");
        if (place.module == nullptr)
            return Text("?");
        Text(place.module).Text("+").Hex(place.moduleOffset);
        if (place.symbol != nullptr)
            Text(" (").Text(place.symbol).Text("+").Hex(place.symbolOffset).Text(")");
        return *this;
    }

    CReportWriter& Byte(char byte)
    {
        if (m_length < m_capacity)
            m_buffer[m_length++] = byte;
        return *this;
    }

    std::size_t GetLength() const { return m_length; }

private:
    char* m_buffer;
    std::size_t m_capacity;
    std::size_t m_length = 0;
};

char g_crashRequest[kCrashRequestBytes + 1];

} // namespace

std::size_t FormatCrashReport(char* buffer, std::size_t capacity, const SCrashFacts& facts)
{
    CReportWriter writer(buffer, capacity);
    writer.Text(facts.server).Text(" crashed\n");
    writer.Text("signal: ").Decimal(facts.signal).Text(" ").Text(facts.signalName);
    writer.Text(", code ").Decimal(facts.code);
    if (*facts.codeName != 0)
        writer.Text(" ").Text(facts.codeName);
    writer.Text("\naddress: ").Hex(facts.faultAddress, 2 * sizeof facts.faultAddress);
    writer.Text("\nthread: ").Decimal(facts.threadId).Text(" of process ").Decimal(facts.processId);
    writer.Text("\ninstruction: ").Place(facts.instruction);
    writer.Text("\nrequest: ").Text(facts.request).Text("\nbacktrace:\n");
    for (int i = 0; i < facts.frameCount && i < kMaxCrashFrames; ++i)
        writer.Text("#").Decimal(i).Text(" ").Place(facts.frames[i]).Text("\n");
    return writer.GetLength();
}

void NoteRequestForCrashReport(const CString& request)
{
    const CAnsiString text = CAnsiString::ToUtf8(request);
    const char* bytes = text.GetText() != nullptr ? text.GetText() : "";
    std::size_t length = std::strlen(bytes);
    if (length > kCrashRequestBytes)
        length = kCrashRequestBytes;
    std::memcpy(g_crashRequest, bytes, length);
    g_crashRequest[length] = 0;
}

const char* RequestForCrashReport() { return g_crashRequest; }
