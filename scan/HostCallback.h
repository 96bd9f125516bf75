#pragma once
/// The host callback ("audioMaster") that the server hands to every plug-in
/// entry point. The server plays a minimal offline host: fixed answers to the
/// questions plug-ins ask while they are built, the sub-plug-in id a shell
/// should build, a note when the plug-in asks for MIDI, and one log line per
/// call so that the scan log shows what a misbehaving plug-in was doing.
///
/// Stateless apart from setting g_wantMidiCalled (scan/ScanState.h); callable at
/// any time on the server's thread, also before the entry point has returned an
/// effect (the effect, index, value and opt are ignored).

#include "foundation/String.h"
#include "vst/Vst2.h"

#include <cstddef>
#include <cstdint>

/// The VST version the host reports to audioMasterVersion (2.4).
constexpr intptr_t kHostVstVersion = 2400;

/// Longest vendor or product text a plug-in can take: 63 characters and the terminator.
constexpr std::size_t kHostStringRoom = 64;

/// Answers one plug-in call. audioMasterCanDo logs "Query host can do: '...'"
/// and answers 1 for one of the host's ten capabilities (ASCII case ignored),
/// else 0; every other opcode logs "Audio master callback: <opcode> - <name>"
/// and answers it, with a warning and 0 for opcodes the host does not handle.
/// A null text pointer for audioMasterCanDo, audioMasterGetVendorString or
/// audioMasterGetProductString is answered 0 (and logged as "(null)" for can-do).
intptr_t VST2_CALL HostCallback(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);

/// The name of an audioMaster opcode, or "<unknown>" when it has none.
CString AudioMasterOpcodeName(int32_t opcode);

/// Copies text into a plug-in's string buffer of kHostStringRoom bytes: at most
/// 63 characters, always followed by a zero byte. Returns the characters copied.
std::size_t CopyHostString(char* buffer, const char* text);
