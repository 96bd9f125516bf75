#include "client/PeCheck.h"

#include "wire/Protocol.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace {

constexpr std::size_t kPeOffsetField = 0x3C;
// Signature (4), machine (2), section count (2), time stamp (4), symbol table (4),
// symbol count (4), optional header size (2), characteristics (2).
constexpr std::size_t kPeHeaderSize = 24;
constexpr std::size_t kMachineField = 4;
constexpr std::size_t kCharacteristicsField = 22;
constexpr uint16_t kMachineX64 = 0x8664;
constexpr uint16_t kMachineX86 = 0x014C;
constexpr uint16_t kImageFileDll = 0x2000;
/// Real files put the PE header within the first few KiB; a larger offset is
/// taken as damage rather than read.
constexpr uint32_t kLargestPeOffset = 1u << 20;

uint16_t Read16(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8)); }

uint32_t Read32(const uint8_t* bytes)
{
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

bool HasDosHeader(const uint8_t* bytes, std::size_t size)
{
    return size >= kDosHeaderSize && bytes[0] == 'M' && bytes[1] == 'Z';
}

constexpr uint8_t kElfMagic[] = {0x7F, 'E', 'L', 'F'};
constexpr std::size_t kElfClassField = 4;
constexpr std::size_t kElfDataField = 5;
constexpr std::size_t kElfTypeField = 16;
constexpr std::size_t kElfMachineField = 18;
constexpr uint8_t kElfClass32 = 1;
constexpr uint8_t kElfClass64 = 2;
constexpr uint8_t kElfBigEndian = 2;
constexpr uint16_t kElfSharedObject = 3;
constexpr uint16_t kElfMachineX86 = 3;
constexpr uint16_t kElfMachineArm = 40;
constexpr uint16_t kElfMachineX64 = 62;
constexpr uint16_t kElfMachineArm64 = 183;

std::string ElfMachineName(uint16_t machine)
{
    switch (machine) {
    case kElfMachineX86:
        return kPlatformX86;
    case kElfMachineX64:
        return kPlatformX64;
    case kElfMachineArm:
        return "ARM";
    case kElfMachineArm64:
        return "ARM64";
    default:
        return "machine " + std::to_string(machine);
    }
}

SPeCheck Refused(EPeVerdict verdict, uint16_t machine, std::string reason)
{
    SPeCheck check;
    check.verdict = verdict;
    check.machine = machine;
    check.reason = std::move(reason);
    return check;
}

} // namespace

std::size_t PeBytesNeeded(const uint8_t* bytes, std::size_t size)
{
    if (!HasDosHeader(bytes, size))
        return kDosHeaderSize;
    const uint32_t offset = Read32(bytes + kPeOffsetField);
    if (offset > kLargestPeOffset)
        return kDosHeaderSize;
    return static_cast<std::size_t>(offset) + kPeHeaderSize;
}

SPeCheck CheckPeHeader(const uint8_t* bytes, std::size_t size)
{
    if (size < kDosHeaderSize)
        return Refused(EPeVerdict::NotPeImage, 0, "not a library: the file is too short for a PE image");
    if (!HasDosHeader(bytes, size))
        return Refused(EPeVerdict::NotPeImage, 0, "not a library: the file is not a PE image (no MZ header)");
    const uint32_t offset = Read32(bytes + kPeOffsetField);
    if (offset < kDosHeaderSize || offset > kLargestPeOffset || offset + kPeHeaderSize > size)
        return Refused(EPeVerdict::NotPeImage, 0, "not a library: the file is not a PE image (no PE header)");
    const uint8_t* header = bytes + offset;
    if (header[0] != 'P' || header[1] != 'E' || header[2] != 0 || header[3] != 0)
        return Refused(EPeVerdict::NotPeImage, 0, "not a library: the file is not a PE image (no PE signature)");
    const uint16_t machine = Read16(header + kMachineField);
    const uint16_t characteristics = Read16(header + kCharacteristicsField);
    if ((characteristics & kImageFileDll) == 0)
        return Refused(EPeVerdict::NotLibrary, machine,
                       "not a library: the file is a program (" + MachineName(machine) + "), not a DLL");
    if (machine != kMachineX64 && machine != kMachineX86)
        return Refused(EPeVerdict::OtherMachine, machine,
                       "not a library the scan servers load: the DLL is built for " + MachineName(machine) +
                           "; they load x64 and x86 libraries");
    SPeCheck check;
    check.verdict = EPeVerdict::Library;
    check.machine = machine;
    check.platform = machine == kMachineX64 ? kPlatformX64 : kPlatformX86;
    return check;
}

std::string MachineName(uint16_t machine)
{
    switch (machine) {
    case kMachineX86:
        return kPlatformX86;
    case kMachineX64:
        return kPlatformX64;
    case 0xAA64:
        return "ARM64";
    case 0x01C4:
        return "ARM";
    case 0x0200:
        return "Itanium";
    default: {
        char text[16];
        std::snprintf(text, sizeof text, "machine 0x%04X", static_cast<unsigned>(machine));
        return text;
    }
    }
}

SPeCheck CheckElfHeader(const uint8_t* bytes, std::size_t size)
{
    if (size < kElfBytesNeeded)
        return Refused(EPeVerdict::NotPeImage, 0, "not a library: the file is too short for an ELF image");
    if (!std::equal(std::begin(kElfMagic), std::end(kElfMagic), bytes))
        return Refused(EPeVerdict::NotPeImage, 0, "not a library: the file is not an ELF image (no ELF header)");
    // The fields are in the file's own byte order.
    const auto field = [&](std::size_t at) {
        return bytes[kElfDataField] == kElfBigEndian ? static_cast<uint16_t>((bytes[at] << 8) | bytes[at + 1])
                                                     : Read16(bytes + at);
    };
    const uint16_t machine = field(kElfMachineField);
    const uint8_t elfClass = bytes[kElfClassField];
    const std::string what = std::string(elfClass == kElfClass32 ? "a 32-bit" : elfClass == kElfClass64 ? "a 64-bit" : "an") +
                             " ELF (" + ElfMachineName(machine) + ")";
    if (field(kElfTypeField) != kElfSharedObject)
        return Refused(EPeVerdict::NotLibrary, machine,
                       "not a library: the file is " + what + " program or object file, not a shared library");
    if (elfClass != kElfClass64 || machine != kElfMachineX64)
        return Refused(EPeVerdict::OtherMachine, machine,
                       "not a library the scan server loads: the library is " + what +
                           "; it loads 64-bit x64 libraries");
    SPeCheck check;
    check.verdict = EPeVerdict::Library;
    check.machine = machine;
    check.platform = kPlatformX64;
    return check;
}
