// The PE header check that answers non-libraries without a server.

#include "client/PeCheck.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using CBytes = std::vector<uint8_t>;

void Put16(CBytes& bytes, std::size_t at, uint16_t value)
{
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

void Put32(CBytes& bytes, std::size_t at, uint32_t value)
{
    Put16(bytes, at, static_cast<uint16_t>(value));
    Put16(bytes, at + 2, static_cast<uint16_t>(value >> 16));
}

/// A DOS header pointing at a PE header at offset, with machine and characteristics.
CBytes Image(uint32_t offset, uint16_t machine, uint16_t characteristics)
{
    CBytes bytes(offset + 24, 0);
    bytes[0] = 'M';
    bytes[1] = 'Z';
    Put32(bytes, 0x3C, offset);
    bytes[offset] = 'P';
    bytes[offset + 1] = 'E';
    Put16(bytes, offset + 4, machine);
    Put16(bytes, offset + 22, characteristics);
    return bytes;
}

constexpr uint16_t kDll = 0x2000 | 0x0002;
constexpr uint16_t kExe = 0x0002;

SPeCheck Check(const CBytes& bytes) { return CheckPeHeader(bytes.data(), bytes.size()); }

TEST(PeCheck, VerdictsForHeaders)
{
    struct SCase {
        const char* label;
        CBytes bytes;
        EPeVerdict verdict;
        const char* reasonPart;
    };
    const std::string text = "This is not a library, just text named .dll\n";
    CBytes badSignature = Image(0x80, 0x8664, kDll);
    badSignature[0x81] = 'X';
    CBytes pointsPastTheEnd = Image(0x80, 0x8664, kDll);
    pointsPastTheEnd.resize(0x90);
    CBytes pointsIntoDosHeader = Image(0x80, 0x8664, kDll);
    Put32(pointsIntoDosHeader, 0x3C, 0x10);
    CBytes hugeOffset = Image(0x80, 0x8664, kDll);
    Put32(hugeOffset, 0x3C, 0xFFFFFFF0u);
    const SCase cases[] = {
        {"an x64 DLL", Image(0x80, 0x8664, kDll), EPeVerdict::Library64, ""},
        {"an x64 DLL with a far header", Image(0x1F00, 0x8664, kDll), EPeVerdict::Library64, ""},
        {"an x86 DLL", Image(0x80, 0x014C, kDll), EPeVerdict::OtherMachine, "built for x86"},
        {"an ARM64 DLL", Image(0x80, 0xAA64, kDll), EPeVerdict::OtherMachine, "built for ARM64"},
        {"an unknown machine", Image(0x80, 0x1234, kDll), EPeVerdict::OtherMachine, "machine 0x1234"},
        {"an x64 program", Image(0x80, 0x8664, kExe), EPeVerdict::NotLibrary, "a program (x64), not a DLL"},
        {"a text file", CBytes(text.begin(), text.end()), EPeVerdict::NotPeImage, "too short"},
        {"an empty file", CBytes(), EPeVerdict::NotPeImage, "too short"},
        {"text longer than a DOS header", CBytes(200, 'a'), EPeVerdict::NotPeImage, "no MZ header"},
        {"a bad PE signature", badSignature, EPeVerdict::NotPeImage, "no PE signature"},
        {"a PE offset past the end", pointsPastTheEnd, EPeVerdict::NotPeImage, "no PE header"},
        {"a PE offset inside the DOS header", pointsIntoDosHeader, EPeVerdict::NotPeImage, "no PE header"},
        {"a huge PE offset", hugeOffset, EPeVerdict::NotPeImage, "no PE header"},
    };
    for (const SCase& c : cases) {
        const SPeCheck check = Check(c.bytes);
        EXPECT_EQ(c.verdict, check.verdict) << c.label;
        if (c.verdict == EPeVerdict::Library64)
            EXPECT_TRUE(check.reason.empty()) << c.label;
        else
            EXPECT_NE(std::string::npos, check.reason.find(c.reasonPart)) << c.label << ": " << check.reason;
    }
}

TEST(PeCheck, BytesNeededReachThePeHeader)
{
    struct SCase {
        const char* label;
        CBytes bytes;
        std::size_t needed;
    };
    CBytes hugeOffset = Image(0x80, 0x8664, kDll);
    Put32(hugeOffset, 0x3C, 0x7FFFFFFFu);
    const SCase cases[] = {
        {"header at 0x80", Image(0x80, 0x8664, kDll), 0x80 + 24},
        {"header at 0x1F00", Image(0x1F00, 0x8664, kDll), 0x1F00 + 24},
        {"no MZ", CBytes(64, 'x'), 64},
        {"short", CBytes(10, 'M'), 64},
        {"huge offset", hugeOffset, 64},
    };
    for (const SCase& c : cases)
        EXPECT_EQ(c.needed, PeBytesNeeded(c.bytes.data(), std::min<std::size_t>(c.bytes.size(), 64))) << c.label;
}

} // namespace
