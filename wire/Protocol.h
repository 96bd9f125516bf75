#pragma once
/// The words and numbers that the host and the scan server share: the line
/// protocol, the record's members, the crash exit code, the dump file names and
/// the splash window's class. Both sides include this header, so each word is
/// spelt once.
///
/// Every line the server writes is a tag, a colon and UTF-8 text, ending in
/// "\n". The host writes one request (a path, optionally kShellIdMarker and a
/// hexadecimal sub-plug-in id, then "\n") and waits for the next kReadyLine.

#include "vst/Vst2.h"

#include <cstdint>

constexpr char kTagInfo[] = "info";
constexpr char kTagWarn[] = "warn";
constexpr char kTagError[] = "error";
constexpr char kTagRecord[] = ">"; ///< a line of the record
constexpr char kTagSeparator[] = ":";
/// The marker the server writes when it waits for the next request (without
/// its "\n").
constexpr char kReadyLine[] = "ready:";
constexpr char kLineEnd = '\n';
/// Separates a request's library path from the sub-plug-in id.
constexpr char kShellIdMarker = '>';

/// Exit code of a server that crashed (after writing its dump).
constexpr int kCrashExitCode = 9;

/// A text both sides spell: name (UTF-8, for the host side) and nameUtf16 (for
/// the server, whose text is UTF-16), from one literal.
#define TESSIVANE_WIRE_TEXT(name, literal)                                                            \
    constexpr char name[] = literal;                                                                   \
    constexpr char16_t name##Utf16[] = u"" literal;

/// Dump files are "<base>-<platform>-YYYY-MM-DD-HH-MM-SS<extension>".
TESSIVANE_WIRE_TEXT(kDumpBaseName, "ScanServer")
TESSIVANE_WIRE_TEXT(kDumpExtension, ".mdmp")
/// The Linux server writes a crash report, not a minidump:
/// "<base>-<report system>-<platform>-YYYY-MM-DD-HH-MM-SS<report extension>".
TESSIVANE_WIRE_TEXT(kCrashReportSystem, "linux")
TESSIVANE_WIRE_TEXT(kCrashReportExtension, ".txt")
/// The server platforms: each one's identity (in its banner, its dump names and
/// the record's "platform") and its program file, which hosts find beside their own.
TESSIVANE_WIRE_TEXT(kPlatformX64, "x64")
TESSIVANE_WIRE_TEXT(kPlatformX86, "x86")
TESSIVANE_WIRE_TEXT(kServerProgramX64, "ScanServer-x64.exe")
TESSIVANE_WIRE_TEXT(kServerProgramX86, "ScanServer-x86.exe")
/// The Linux server's program file (it serves the libraries of its own processor).
TESSIVANE_WIRE_TEXT(kServerProgramLinux, "scan-server")

/// Class and title of the splash window, by which a host can find it.
TESSIVANE_WIRE_TEXT(kSplashWindowClass, "TessivaneScanServer")
TESSIVANE_WIRE_TEXT(kSplashWindowTitle, "Tessivane Scan Server")

#undef TESSIVANE_WIRE_TEXT

/// This build's own platform and program: a server serves plug-ins of its own pointer size.
constexpr bool kIs64BitBuild = sizeof(void*) == 8;
constexpr const char* kServerPlatform = kIs64BitBuild ? kPlatformX64 : kPlatformX86;
constexpr const char16_t* kServerPlatformUtf16 = kIs64BitBuild ? kPlatformX64Utf16 : kPlatformX86Utf16;
constexpr const char* kServerProgram = kIs64BitBuild ? kServerProgramX64 : kServerProgramX86;

/// The record's "category": the plug-in's own category (PlugCategory), or this
/// when no effect answered.
constexpr int32_t kRecordCategoryNone = -1;

/// The record's members in the order the record lists them.
enum ERecordMember : int {
    kMemberId,
    kMemberName,
    kMemberVendor,
    kMemberProduct,
    kMemberVersion,
    kMemberError,
    kMemberNumInputs,
    kMemberNumOutputs,
    kMemberWantsMidi,
    kMemberSendsMidi,
    kMemberPlatform,
    kMemberAudio64,
    kMemberCategory,
    kMemberSynthEdit,
    kMemberShells, ///< only in a shell's record: an object of id and name pairs
    kRecordMemberCount
};

/// A member's name, and the spaces between its colon and its value: the
/// record's columns, which host readers expect byte for byte.
struct SRecordMember {
    const char* name;
    const char* gap;
};

constexpr SRecordMember kRecordMembers[kRecordMemberCount] = {
    {"id", "        "},    {"name", "      "},   {"vendor", "    "},   {"product", "   "},  {"version", "   "},
    {"error", "     "},    {"numInputs", " "},   {"numOutputs", ""},   {"wantsMidi", "  "}, {"sendsMidi", " "},
    {"platform", "  "},    {"audio64", "   "},   {"category", "  "},   {"synthEdit", " "},  {"shells", " "},
};

/// The name of a member, for readers that look members up.
constexpr const char* RecordMemberName(ERecordMember member) { return kRecordMembers[member].name; }
