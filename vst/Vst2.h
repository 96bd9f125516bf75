#pragma once
/// The VST 2 plug-in interface, as far as the scan server and its test plug-ins use it.
///
/// Plug-ins and host share one binary layout: a plug-in's entry point returns a
/// pointer to an `AEffect`, and everything after that goes through its dispatcher
/// and through the host callback the entry point was given. The layout follows
/// the pointer size: a 64-bit server loads 64-bit plug-ins, a 32-bit server
/// 32-bit ones; the static_asserts below pin every offset the server reads in both.
///
/// The server reads `magic`, `dispatcher`, `numInputs`, `numOutputs`, `flags` and
/// `uniqueID`. The other members only keep those at their places and give the
/// struct its full size, so that a plug-in built against this header (our test
/// plug-ins) hands out a complete effect; their names say what plug-ins keep
/// there, and their types are opaque because the server never touches them.
///
/// Calling convention: cdecl, which 32-bit Windows plug-ins expect whatever their
/// compiler's default (`VST2_CALL`); 64-bit platforms have only one convention.

#include <cstddef>
#include <cstdint>

struct AEffect;

#if defined(_WIN32) && !defined(_WIN64)
#define VST2_CALL __cdecl
#else
#define VST2_CALL
#endif

/// The plug-in's dispatcher: (effect, opcode, index, value, pointer, opt) -> answer.
using AEffectDispatcher = intptr_t(VST2_CALL*)(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                       float opt);

/// The host's callback ("audioMaster"), same shape as the dispatcher. Plug-ins may
/// call it before their entry point has returned, with a null effect.
using AudioMasterCallback = intptr_t(VST2_CALL*)(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                         float opt);

/// The exported entry point ("VSTPluginMain", or "main" in older plug-ins): builds
/// an effect that talks back through the callback, or returns null.
using VstEntryPoint = AEffect*(VST2_CALL*)(AudioMasterCallback callback);

/// `magic` of every effect: the characters VstP with V as the most significant
/// byte, so the bytes in memory are P, t, s, V.
constexpr int32_t kEffectMagic = 0x56737450;

struct AEffect {
    int32_t magic;                 ///< kEffectMagic
    AEffectDispatcher dispatcher;  ///< every question goes through here
    void* process;                 ///< accumulating process function (unused by hosts today)
    void* setParameter;
    void* getParameter;
    int32_t numPrograms;
    int32_t numParams;
    int32_t numInputs;   ///< audio inputs
    int32_t numOutputs;  ///< audio outputs
    int32_t flags;       ///< EffectFlags bits
    intptr_t reserved1;
    intptr_t reserved2;
    int32_t initialDelay;
    int32_t realQualities;
    int32_t offQualities;
    float ioRatio;
    void* object;  ///< the plug-in's own instance pointer
    void* user;    ///< free for the host
    int32_t uniqueID;
    int32_t version;
    void* processReplacing;
    void* processDoubleReplacing;
    char future[56];  ///< reserved for extensions; part of every effect's size
};

/// Where the members the server reads lie, per pointer size.
struct SEffectLayout {
    std::size_t dispatcher, numInputs, numOutputs, flags, uniqueID, future, size;
};
constexpr SEffectLayout kEffectLayout64{8, 48, 52, 56, 112, 136, 192};
constexpr SEffectLayout kEffectLayout32{4, 28, 32, 36, 72, 88, 144};
constexpr SEffectLayout kEffectLayout = sizeof(void*) == 8 ? kEffectLayout64 : kEffectLayout32;

static_assert(sizeof(void*) == 8 || sizeof(void*) == 4, "a 32-bit or a 64-bit layout");
static_assert(offsetof(AEffect, magic) == 0, "AEffect::magic");
static_assert(offsetof(AEffect, dispatcher) == kEffectLayout.dispatcher, "AEffect::dispatcher");
static_assert(offsetof(AEffect, numInputs) == kEffectLayout.numInputs, "AEffect::numInputs");
static_assert(offsetof(AEffect, numOutputs) == kEffectLayout.numOutputs, "AEffect::numOutputs");
static_assert(offsetof(AEffect, flags) == kEffectLayout.flags, "AEffect::flags");
static_assert(offsetof(AEffect, uniqueID) == kEffectLayout.uniqueID, "AEffect::uniqueID");
static_assert(offsetof(AEffect, future) == kEffectLayout.future, "AEffect::future");
static_assert(sizeof(AEffect) == kEffectLayout.size, "a full effect");

/// Bits of AEffect::flags that the server reads.
enum EffectFlags : int32_t {
    effFlagsIsSynth = 1 << 8,              ///< an instrument
    effFlagsCanDoubleReplacing = 1 << 12,  ///< processes 64-bit samples
};

/// Answers of effGetPlugCategory that the server tells apart.
enum PlugCategory : int32_t {
    kPlugCategoryUnknown = 0,  ///< not stated by the plug-in
    kPlugCategoryEffect = 1,
    kPlugCategorySynth = 2,
    kPlugCategoryShell = 10,  ///< a container of sub-plug-ins
};

/// Dispatcher opcodes the server sends (or a test plug-in answers).
enum EffectOpcode : int32_t {
    effClose = 1,
    effGetPlugCategory = 35,
    effGetEffectName = 45,     ///< pointer: text buffer
    effGetVendorString = 47,   ///< pointer: text buffer
    effGetProductString = 48,  ///< pointer: text buffer
    effGetVendorVersion = 49,
    effCanDo = 51,               ///< pointer: zero-terminated capability text
    effShellGetNextPlugin = 70,  ///< pointer: name buffer; answers the next sub-plug-in id, 0 at the end
};

/// Host callback opcodes, as X(name, number). 5 has no name.
#define VST2_AUDIO_MASTER_OPCODES(X) \
    X(audioMasterAutomate, 0) \
    X(audioMasterVersion, 1) \
    X(audioMasterCurrentId, 2) \
    X(audioMasterIdle, 3) \
    X(audioMasterPinConnected, 4) \
    X(audioMasterWantMidi, 6) \
    X(audioMasterGetTime, 7) \
    X(audioMasterProcessEvents, 8) \
    X(audioMasterSetTime, 9) \
    X(audioMasterTempoAt, 10) \
    X(audioMasterGetNumAutomatableParameters, 11) \
    X(audioMasterGetParameterQuantization, 12) \
    X(audioMasterIOChanged, 13) \
    X(audioMasterNeedIdle, 14) \
    X(audioMasterSizeWindow, 15) \
    X(audioMasterGetSampleRate, 16) \
    X(audioMasterGetBlockSize, 17) \
    X(audioMasterGetInputLatency, 18) \
    X(audioMasterGetOutputLatency, 19) \
    X(audioMasterGetPreviousPlug, 20) \
    X(audioMasterGetNextPlug, 21) \
    X(audioMasterWillReplaceOrAccumulate, 22) \
    X(audioMasterGetCurrentProcessLevel, 23) \
    X(audioMasterGetAutomationState, 24) \
    X(audioMasterOfflineStart, 25) \
    X(audioMasterOfflineRead, 26) \
    X(audioMasterOfflineWrite, 27) \
    X(audioMasterOfflineGetCurrentPass, 28) \
    X(audioMasterOfflineGetCurrentMetaPass, 29) \
    X(audioMasterSetOutputSampleRate, 30) \
    X(audioMasterGetOutputSpeakerArrangement, 31) \
    X(audioMasterGetVendorString, 32) \
    X(audioMasterGetProductString, 33) \
    X(audioMasterGetVendorVersion, 34) \
    X(audioMasterVendorSpecific, 35) \
    X(audioMasterSetIcon, 36) \
    X(audioMasterCanDo, 37) \
    X(audioMasterGetLanguage, 38) \
    X(audioMasterOpenWindow, 39) \
    X(audioMasterCloseWindow, 40) \
    X(audioMasterGetDirectory, 41) \
    X(audioMasterUpdateDisplay, 42) \
    X(audioMasterBeginEdit, 43) \
    X(audioMasterEndEdit, 44) \
    X(audioMasterOpenFileSelector, 45) \
    X(audioMasterCloseFileSelector, 46) \
    X(audioMasterEditFile, 47) \
    X(audioMasterGetChunkFile, 48) \
    X(audioMasterGetInputSpeakerArrangement, 49)

enum AudioMasterOpcode : int32_t {
#define VST2_DECLARE_OPCODE(name, number) name = number,
    VST2_AUDIO_MASTER_OPCODES(VST2_DECLARE_OPCODE)
#undef VST2_DECLARE_OPCODE
};

/// The name of an audioMaster opcode as the interface spells it, or null for
/// a number that has none.
constexpr const char* FindAudioMasterOpcodeName(int32_t opcode)
{
    switch (opcode) {
#define VST2_NAME_OPCODE(name, number) \
    case name: return #name;
        VST2_AUDIO_MASTER_OPCODES(VST2_NAME_OPCODE)
#undef VST2_NAME_OPCODE
    default: return nullptr;
    }
}

/// The resource that marks a plug-in built with SynthEdit: type "SE1", id 165.
constexpr int kSynthEditResourceId = 165;
constexpr char16_t kSynthEditResourceType[] = u"SE1";
