#pragma once
/// Asking a loaded plug-in library what it is: find its entry point, build its
/// effect with our host callback, put the fixed questions to the dispatcher,
/// enumerate a shell's sub-plug-ins, close the effect. The effect is never
/// opened and never processes.

#include "foundation/String.h"
#include "scan/PluginInfo.h"
#include "vst/Vst2.h"

/// Size of the text buffer handed to a plug-in for a name, vendor, product or
/// sub-plug-in name: far more than any plug-in writes, so that one that
/// overruns the nominal size does not trample the server's memory.
constexpr int kPluginTextBufferSize = 4096;
/// The longest text taken from such a buffer; longer texts are cut here.
constexpr int kPluginTextMaxLength = 512;
/// A shell that keeps naming sub-plug-ins past this many calls is stopped, so a
/// shell that never answers 0 ends its scan instead of hanging it.
constexpr int kMaxShellEnumerationCalls = 10000;

/// Probes the effect of module into record; false with record.error set when it
/// is not a usable VST 2 plug-in, or when memory ran out for a shell's sub-plug-ins
/// (the effect is closed all the same).
bool ProbeEffect(void* module, CPluginInfo& record);

/// The text a plug-in writes for opcode into a zeroed buffer, cut at
/// kPluginTextMaxLength bytes; each byte becomes one unit (no decoding).
CString GetEffectString(AEffect* effect, int32_t opcode);

/// The plug-in's vendor version as "a.b.c.d" (see the ranges in the .cpp); 0
/// gives the empty string.
CString FormatVstVersion(int32_t value);

/// The category the record states: the synth flag wins; "not stated" becomes a
/// synth without inputs and an effect with them; any other answer stays.
int32_t CorrectedCategory(int32_t reported, int32_t flags, int32_t numInputs);
