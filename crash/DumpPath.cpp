#include "crash/DumpPath.h"

#include "wire/Protocol.h"

namespace {

/// Appends to a fixed buffer; remembers when something did not fit.
class CFixedWriter {
public:
    CFixedWriter(char16_t* buffer, std::size_t capacity) : m_buffer(buffer), m_capacity(capacity) {}

    void Text(const char16_t* text)
    {
        for (; text != nullptr && *text != 0; ++text)
            Unit(*text);
    }

    /// value in decimal, zero-padded to at least digits digits.
    void Number(unsigned value, int digits)
    {
        char16_t reversed[12];
        int count = 0;
        do {
            reversed[count++] = static_cast<char16_t>(u'0' + value % 10);
            value /= 10;
        } while (value != 0 && count < 12);
        while (count < digits && count < 12)
            reversed[count++] = u'0';
        while (count > 0)
            Unit(reversed[--count]);
    }

    void Unit(char16_t unit)
    {
        if (m_length + 1 < m_capacity)
            m_buffer[m_length] = unit;
        else
            m_overflow = true;
        ++m_length;
    }

    bool Finish()
    {
        if (m_capacity == 0)
            return false;
        if (m_overflow) {
            m_buffer[0] = 0;
            return false;
        }
        m_buffer[m_length] = 0;
        return true;
    }

private:
    char16_t* m_buffer;
    std::size_t m_capacity;
    std::size_t m_length = 0;
    bool m_overflow = false;
};

} // namespace

bool FormatDumpPath(char16_t* buffer, std::size_t capacity, const char16_t* folder, const char16_t* baseName,
                    const SDumpTime& time)
{
    CFixedWriter writer(buffer, capacity);
    writer.Text(folder);
    writer.Unit(u'\\');
    writer.Text(baseName);
    const unsigned fields[] = {time.year, time.month, time.day, time.hour, time.minute, time.second};
    for (int i = 0; i < 6; ++i) {
        writer.Unit(u'-');
        writer.Number(fields[i], i == 0 ? 4 : 2);
    }
    writer.Text(kDumpExtensionUtf16);
    return writer.Finish();
}
