// The program's own wide formatter, so that every build writes the same text
// (the runtimes' wide printf families disagree on %s, %S and %p).
//
// Supported: %s (wide text; null writes "(null)"), %S (narrow text, each byte
// one unit), %c (wide unit), %C (narrow byte), %d %i %u %x %X %o, %p (two
// upper-case hexadecimal digits per pointer byte), %%; flags '-' '0' '+' ' ' '#'; width and
// precision as digits or '*'; length modifiers hh h l ll z j ('h' makes s/S/c/C
// narrow, 'l' makes them wide). Anything else, and a conversion cut off by the
// end of the format, is written literally and takes no argument.

#include "foundation/String.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace {

/// The argument list in a struct, so that it can be passed on by reference on
/// every platform (va_list is an array type on some).
struct SArguments {
    va_list list;
};

/// Receives the formatted units: counts all of them and stores those that fit.
/// The count saturates just above INT_MAX, which is too long anyway.
class CUnitSink {
public:
    CUnitSink(char16_t* target, std::int64_t room) : m_target(target), m_room(room) {}

    void Put(char16_t unit) { Repeat(unit, 1); }

    void Repeat(char16_t unit, std::int64_t times)
    {
        for (std::int64_t i = m_count; i < m_room && i < m_count + times; ++i) {
            m_target[i] = unit;
        }
        m_count = m_count + times > kLimit ? kLimit : m_count + times;
    }

    std::int64_t GetCount() const { return m_count; }

private:
    static constexpr std::int64_t kLimit = static_cast<std::int64_t>(INT_MAX) + 1;
    char16_t* m_target;
    std::int64_t m_room;
    std::int64_t m_count = 0;
};

enum class ESize { Default, Char, Short, Long, LongLong, Size, Max };

struct SConversion {
    bool leftAlign = false;
    bool zeroPad = false;
    bool plusSign = false;
    bool spaceSign = false;
    bool alternate = false;
    int width = 0;
    int precision = -1; // below 0: none given
    ESize size = ESize::Default;
    char16_t type = 0; // 0: the format ended first
};

bool IsDigit(char16_t unit)
{
    return unit >= u'0' && unit <= u'9';
}

/// Digits at `at`, saturating at INT_MAX.
int ReadNumber(const char16_t*& at)
{
    int value = 0;
    for (; IsDigit(*at); ++at) {
        const int digit = *at - u'0';
        value = value > (INT_MAX - digit) / 10 ? INT_MAX : value * 10 + digit;
    }
    return value;
}

void ReadFlags(const char16_t*& at, SConversion& conversion)
{
    for (;; ++at) {
        switch (*at) {
        case u'-': conversion.leftAlign = true; break;
        case u'0': conversion.zeroPad = true; break;
        case u'+': conversion.plusSign = true; break;
        case u' ': conversion.spaceSign = true; break;
        case u'#': conversion.alternate = true; break;
        default: return;
        }
    }
}

void ReadWidth(const char16_t*& at, SConversion& conversion, SArguments& arguments)
{
    if (*at != u'*') {
        conversion.width = ReadNumber(at);
        return;
    }
    ++at;
    const int width = va_arg(arguments.list, int);
    if (width < 0) {
        conversion.leftAlign = true;
        conversion.width = width == INT_MIN ? INT_MAX : -width;
    } else {
        conversion.width = width;
    }
}

void ReadPrecision(const char16_t*& at, SConversion& conversion, SArguments& arguments)
{
    if (*at != u'.') {
        return;
    }
    ++at;
    if (*at != u'*') {
        conversion.precision = ReadNumber(at);
        return;
    }
    ++at;
    conversion.precision = va_arg(arguments.list, int);
}

void ReadSize(const char16_t*& at, SConversion& conversion)
{
    switch (*at) {
    case u'h':
        conversion.size = at[1] == u'h' ? ESize::Char : ESize::Short;
        at += conversion.size == ESize::Char ? 2 : 1;
        break;
    case u'l':
        conversion.size = at[1] == u'l' ? ESize::LongLong : ESize::Long;
        at += conversion.size == ESize::LongLong ? 2 : 1;
        break;
    case u'z': conversion.size = ESize::Size; ++at; break;
    case u'j': conversion.size = ESize::Max; ++at; break;
    default: break;
    }
}

/// Reads the conversion after its '%'; returns the position after it.
const char16_t* ParseConversion(const char16_t* at, SConversion& conversion, SArguments& arguments)
{
    ReadFlags(at, conversion);
    ReadWidth(at, conversion, arguments);
    ReadPrecision(at, conversion, arguments);
    ReadSize(at, conversion);
    conversion.type = *at;
    return *at ? at + 1 : at;
}

std::int64_t ReadSigned(ESize size, SArguments& arguments)
{
    switch (size) {
    case ESize::Char: return static_cast<signed char>(va_arg(arguments.list, int));
    case ESize::Short: return static_cast<short>(va_arg(arguments.list, int));
    case ESize::Long: return va_arg(arguments.list, long);
    case ESize::LongLong: return va_arg(arguments.list, long long);
    case ESize::Size: return va_arg(arguments.list, std::ptrdiff_t);
    case ESize::Max: return va_arg(arguments.list, std::intmax_t);
    case ESize::Default: break;
    }
    return va_arg(arguments.list, int);
}

std::uint64_t ReadUnsigned(ESize size, SArguments& arguments)
{
    switch (size) {
    case ESize::Char: return static_cast<unsigned char>(va_arg(arguments.list, unsigned));
    case ESize::Short: return static_cast<unsigned short>(va_arg(arguments.list, unsigned));
    case ESize::Long: return va_arg(arguments.list, unsigned long);
    case ESize::LongLong: return va_arg(arguments.list, unsigned long long);
    case ESize::Size: return va_arg(arguments.list, std::size_t);
    case ESize::Max: return va_arg(arguments.list, std::uintmax_t);
    case ESize::Default: break;
    }
    return va_arg(arguments.list, unsigned);
}

/// Units that pad a field of `length` units to the width. PadBefore and
/// PadAfter put them as spaces on the side that alignment asks for.
std::int64_t Padding(const SConversion& conversion, std::int64_t length)
{
    return conversion.width > length ? conversion.width - length : 0;
}

void PadBefore(const SConversion& conversion, std::int64_t length, CUnitSink& sink)
{
    if (!conversion.leftAlign) {
        sink.Repeat(u' ', Padding(conversion, length));
    }
}

void PadAfter(const SConversion& conversion, std::int64_t length, CUnitSink& sink)
{
    if (conversion.leftAlign) {
        sink.Repeat(u' ', Padding(conversion, length));
    }
}

/// An integer: sign or prefix, zeros up to the precision, digits, all padded to the width.
void PutInteger(const SConversion& conversion, std::uint64_t magnitude, bool negative, CUnitSink& sink)
{
    const char16_t* digitSet = conversion.type == u'X' ? u"0123456789ABCDEF" : u"0123456789abcdef";
    const unsigned base = conversion.type == u'x' || conversion.type == u'X' ? 16 : conversion.type == u'o' ? 8 : 10;
    const bool isSigned = conversion.type == u'd' || conversion.type == u'i';

    char16_t digits[24];
    int digitCount = 0;
    for (std::uint64_t rest = magnitude; rest != 0 || (digitCount == 0 && conversion.precision != 0); rest /= base) {
        digits[digitCount++] = digitSet[rest % base];
    }

    char16_t prefix[2];
    int prefixLength = 0;
    if (isSigned && (negative || conversion.plusSign || conversion.spaceSign)) {
        prefix[prefixLength++] = negative ? u'-' : conversion.plusSign ? u'+' : u' ';
    } else if (base == 16 && conversion.alternate && magnitude != 0) {
        prefix[prefixLength++] = u'0';
        prefix[prefixLength++] = conversion.type;
    }

    std::int64_t zeros = conversion.precision > digitCount ? conversion.precision - digitCount : 0;
    if (base == 8 && conversion.alternate && zeros == 0 && (digitCount == 0 || digits[digitCount - 1] != u'0')) {
        zeros = 1;
    }
    const std::int64_t length = prefixLength + zeros + digitCount;
    const bool padWithZeros = conversion.zeroPad && !conversion.leftAlign && conversion.precision < 0;

    if (!padWithZeros) {
        PadBefore(conversion, length, sink);
    }
    for (int i = 0; i < prefixLength; ++i) {
        sink.Put(prefix[i]);
    }
    if (padWithZeros) {
        sink.Repeat(u'0', Padding(conversion, length));
    }
    sink.Repeat(u'0', zeros);
    for (int i = digitCount; i > 0; --i) {
        sink.Put(digits[i - 1]);
    }
    PadAfter(conversion, length, sink);
}

void PutPointer(const SConversion& conversion, const void* pointer, CUnitSink& sink)
{
    // As the runtime prints it: two digits per byte of a pointer.
    constexpr int kDigits = 2 * static_cast<int>(sizeof(void*));
    const std::uintptr_t value = reinterpret_cast<std::uintptr_t>(pointer);
    PadBefore(conversion, kDigits, sink);
    for (int shift = 4 * (kDigits - 1); shift >= 0; shift -= 4) {
        sink.Put(u"0123456789ABCDEF"[(value >> shift) & 0xF]);
    }
    PadAfter(conversion, kDigits, sink);
}

/// Text of units of type TUnit, at most `precision` of them; each unit is
/// written as the code unit of the same value (bytes are not decoded).
template <typename TUnit>
void PutText(const SConversion& conversion, const TUnit* text, CUnitSink& sink)
{
    if (!text) {
        PutText(conversion, u"(null)", sink);
        return;
    }
    std::int64_t length = 0;
    while ((conversion.precision < 0 || length < conversion.precision) && text[length] != 0) {
        ++length;
    }
    PadBefore(conversion, length, sink);
    for (std::int64_t i = 0; i < length; ++i) {
        sink.Put(static_cast<char16_t>(static_cast<typename std::make_unsigned<TUnit>::type>(text[i])));
    }
    PadAfter(conversion, length, sink);
}

void PutUnit(const SConversion& conversion, char16_t unit, CUnitSink& sink)
{
    PadBefore(conversion, 1, sink);
    sink.Put(unit);
    PadAfter(conversion, 1, sink);
}

/// Whether a text or character conversion takes wide units: the lower-case
/// letter by default, overridden by 'h' (narrow) or 'l' (wide).
bool IsWide(const SConversion& conversion)
{
    if (conversion.size == ESize::Short) {
        return false;
    }
    return conversion.size == ESize::Long || conversion.type == u's' || conversion.type == u'c';
}

/// Writes one conversion; false when the conversion is not supported.
bool PutConversion(const SConversion& conversion, SArguments& arguments, CUnitSink& sink)
{
    switch (conversion.type) {
    case u'%':
        sink.Put(u'%');
        return true;
    case u'd':
    case u'i': {
        const std::int64_t value = ReadSigned(conversion.size, arguments);
        const std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
        PutInteger(conversion, magnitude, value < 0, sink);
        return true;
    }
    case u'u':
    case u'x':
    case u'X':
    case u'o':
        PutInteger(conversion, ReadUnsigned(conversion.size, arguments), false, sink);
        return true;
    case u'p':
        PutPointer(conversion, va_arg(arguments.list, const void*), sink);
        return true;
    case u'c':
    case u'C': {
        const int value = va_arg(arguments.list, int);
        PutUnit(conversion, IsWide(conversion) ? static_cast<char16_t>(value) : static_cast<unsigned char>(value), sink);
        return true;
    }
    case u's':
    case u'S':
        if (IsWide(conversion)) {
            PutText(conversion, va_arg(arguments.list, const char16_t*), sink);
        } else {
            PutText(conversion, va_arg(arguments.list, const char*), sink);
        }
        return true;
    default:
        return false;
    }
}

void FormatInto(const char16_t* format, SArguments& arguments, CUnitSink& sink)
{
    for (const char16_t* at = format; *at != 0;) {
        if (*at != u'%') {
            sink.Put(*at++);
            continue;
        }
        const char16_t* start = at;
        SConversion conversion;
        at = ParseConversion(at + 1, conversion, arguments);
        if (!PutConversion(conversion, arguments, sink)) {
            for (const char16_t* literal = start; literal != at; ++literal) {
                sink.Put(*literal);
            }
        }
    }
}

} // namespace

CString CString::Format(const char16_t* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    CString result = FormatV(format, arguments);
    va_end(arguments);
    return result;
}

CString CString::FormatV(const char16_t* format, va_list arguments)
{
    CString result;
    if (!format) {
        return result;
    }

    SArguments counting;
    va_copy(counting.list, arguments);
    CUnitSink counter(nullptr, 0);
    FormatInto(format, counting, counter);
    va_end(counting.list);
    // Too long to hold counts as an error: the result is then empty.
    const int count = counter.GetCount() > INT_MAX - 1 ? -1 : static_cast<int>(counter.GetCount());

    char16_t* buffer = result.GetBuffer(count + 1);
    if (!buffer || count < 0) {
        return result;
    }
    SArguments writing;
    va_copy(writing.list, arguments);
    CUnitSink writer(buffer, count);
    FormatInto(format, writing, writer);
    va_end(writing.list);
    buffer[count] = 0;
    return result;
}
