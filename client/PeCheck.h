#pragma once
/// Tells from a file's first bytes whether a scan server can load it at all, and
/// which one: an x64 DLL goes to the 64-bit server, an x86 DLL to the 32-bit one.
/// Anything else is answered without a server.

#include <cstddef>
#include <cstdint>
#include <string>

enum class EPeVerdict {
    Library,      ///< an x64 or x86 DLL: worth a request to the server of its platform
    NotPeImage,   ///< no MZ or PE header (a text file named .dll, a truncated file)
    OtherMachine, ///< a DLL for a processor no server loads (ARM64, ...)
    NotLibrary,   ///< an executable, not a library
};

struct SPeCheck {
    EPeVerdict verdict = EPeVerdict::NotPeImage;
    uint16_t machine = 0;           ///< the header's machine field, when there is one
    const char* platform = nullptr; ///< for a Library: the server platform that loads it (wire names)
    std::string reason;             ///< empty for a Library, else why the file is refused
};

/// The DOS header's size: the first bytes every check reads.
constexpr std::size_t kDosHeaderSize = 64;

/// How many bytes from the start of the file CheckPeHeader needs: the DOS header
/// and, when it points to one, the PE header after it. Call it with the first
/// kDosHeaderSize bytes (or fewer for a shorter file).
std::size_t PeBytesNeeded(const uint8_t* bytes, std::size_t size);

/// Checks the file's first bytes (as many as PeBytesNeeded asks for, or the whole
/// file when it is shorter).
SPeCheck CheckPeHeader(const uint8_t* bytes, std::size_t size);

/// A name for a machine field: "x86", "x64", "ARM64", ..., else its hex value.
std::string MachineName(uint16_t machine);
