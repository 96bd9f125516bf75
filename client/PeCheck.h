#pragma once
/// \file
/// Tells from a file's first bytes whether a scan server can load it at all, and
/// which one: on Windows an x64 DLL goes to the 64-bit server, an x86 DLL to the
/// 32-bit one; on Linux a 64-bit x86-64 shared object goes to the x64 server.
/// Anything else is answered without a server.

#include <cstddef>
#include <cstdint>
#include <string>

/// What a file's header says about loading it.
enum class EPeVerdict {
    Library,      ///< an x64 or x86 DLL: worth a request to the server of its platform
    NotPeImage,   ///< no MZ or PE header, or no ELF header on Linux (a text file, a truncated file)
    OtherMachine, ///< a library for a processor no server loads (ARM64, a 32-bit ELF, ...)
    NotLibrary,   ///< an executable (or an ELF object file), not a library
};

/// The verdict on a file's header, with what it read.
struct SPeCheck {
    EPeVerdict verdict = EPeVerdict::NotPeImage; ///< whether a server can load it
    uint16_t machine = 0;           ///< the header's machine field (PE or ELF numbering), when there is one
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

/// How many bytes from the start of the file CheckElfHeader reads: the ELF
/// identification, the file type and the machine.
constexpr std::size_t kElfBytesNeeded = 20;

/// Checks a file's first bytes (kElfBytesNeeded, or the whole file when it is
/// shorter) as the Linux server sees them: a 64-bit x86-64 shared object is a
/// Library of the x64 server; a 32-bit ELF or one for another processor is
/// OtherMachine, an ELF program or object file NotLibrary, anything else NotPeImage.
SPeCheck CheckElfHeader(const uint8_t* bytes, std::size_t size);
