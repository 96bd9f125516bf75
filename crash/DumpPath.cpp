#include "crash/DumpPath.h"

#include "wire/Protocol.h"

namespace {

/// Appends to a fixed buffer; remembers when something did not fit.
template <typename TUnit>
class CFixedWriter {
public:
    CFixedWriter(TUnit* buffer, std::size_t capacity) : m_buffer(buffer), m_capacity(capacity) {}

    void Text(const TUnit* text)
    {
        for (; text != nullptr && *text != 0; ++text)
            Unit(*text);
    }

    /// value in decimal, zero-padded to at least digits digits.
    void Number(unsigned value, int digits)
    {
        TUnit reversed[12];
        int count = 0;
        do {
            reversed[count++] = static_cast<TUnit>('0' + value % 10);
            value /= 10;
        } while (value != 0 && count < 12);
        while (count < digits && count < 12)
            reversed[count++] = static_cast<TUnit>('0');
        while (count > 0)
            Unit(reversed[--count]);
    }

    void Unit(TUnit unit)
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
    TUnit* m_buffer;
    std::size_t m_capacity;
    std::size_t m_length = 0;
    bool m_overflow = false;
};

template <typename TUnit>
bool FormatPath(TUnit* buffer, std::size_t capacity, const TUnit* folder, TUnit separator, const TUnit* baseName,
                const SDumpTime& time, const TUnit* extension)
{
    CFixedWriter<TUnit> writer(buffer, capacity);
    writer.Text(folder);
    writer.Unit(separator);
    writer.Text(baseName);
    const unsigned fields[] = {time.year, time.month, time.day, time.hour, time.minute, time.second};
    for (int i = 0; i < 6; ++i) {
        writer.Unit(static_cast<TUnit>('-'));
        writer.Number(fields[i], i == 0 ? 4 : 2);
    }
    writer.Text(extension);
    return writer.Finish();
}

constexpr int64_t kSecondsPerDay = 24 * 60 * 60;
constexpr int64_t kDaysPerEra = 146097;               // 400 Gregorian years
constexpr int64_t kDaysFromEraStartTo1970 = 719468;   // 0000-03-01 to 1970-01-01

} // namespace

bool FormatDumpPath(char16_t* buffer, std::size_t capacity, const char16_t* folder, const char16_t* baseName,
                    const SDumpTime& time)
{
    return FormatPath(buffer, capacity, folder, u'\\', baseName, time, kDumpExtensionUtf16);
}

bool FormatReportPath(char* buffer, std::size_t capacity, const char* folder, const char* baseName,
                      const SDumpTime& time)
{
    return FormatPath(buffer, capacity, folder, '/', baseName, time, kCrashReportExtension);
}

SDumpTime DumpTimeFromSeconds(int64_t localSeconds)
{
    int64_t days = localSeconds / kSecondsPerDay;
    int64_t seconds = localSeconds % kSecondsPerDay;
    if (seconds < 0) {
        seconds += kSecondsPerDay;
        --days;
    }
    // Days to a civil date in eras of 400 years (146,097 days), counted from
    // 0000-03-01 so that the leap day ends each year.
    const int64_t shifted = days + kDaysFromEraStartTo1970;
    const int64_t era = (shifted >= 0 ? shifted : shifted - (kDaysPerEra - 1)) / kDaysPerEra;
    const int64_t dayOfEra = shifted - era * kDaysPerEra;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t monthIndex = (5 * dayOfYear + 2) / 153; // 0 is March
    const int64_t month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    SDumpTime time;
    time.year = static_cast<unsigned>(year);
    time.month = static_cast<unsigned>(month);
    time.day = static_cast<unsigned>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    time.hour = static_cast<unsigned>(seconds / 3600);
    time.minute = static_cast<unsigned>(seconds / 60 % 60);
    time.second = static_cast<unsigned>(seconds % 60);
    return time;
}
