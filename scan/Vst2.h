#pragma once
/// The VST 2 plug-in interface, as far as the scan server and its test plug-ins use it.
///
/// Plug-ins and host share one binary layout: a plug-in's entry point returns a
/// pointer to an `AEffect`, and everything after that goes through its dispatcher
/// and through the host callback the entry point was given. Only the 64-bit layout
/// is described here (the server is a 64-bit program and loads 64-bit plug-ins);
/// the static_asserts below pin every offset the server reads.
///
/// The server reads `magic`, `dispatcher`, `numInputs`, `numOutputs`, `flags` and
/// `uniqueID`. The other members only keep those at their places and give the
/// struct its full size, so that a plug-in built against this header (our test
/// plug-ins) hands out a complete effect; their names say what plug-ins keep
/// there, and their types are opaque because the server never touches them.
///
/// Calling convention: the platform default. On 64-bit Windows there is only one,
/// so no decoration is needed, and the header stays usable by native builds.

#include <cstddef>
#include <cstdint>

struct AEffect;

/// The plug-in's dispatcher: (effect, opcode, index, value, pointer, opt) -> answer.
using AEffectDispatcher = intptr_t (*)(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                       float opt);

/// The host's callback ("audioMaster"), same shape as the dispatcher. Plug-ins may
/// call it before their entry point has returned, with a null effect.
using AudioMasterCallback = intptr_t (*)(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                         float opt);

/// The exported entry point ("VSTPluginMain", or "main" in older plug-ins): builds
/// an effect that talks back through the callback, or returns null.
using VstEntryPoint = AEffect* (*)(AudioMasterCallback callback);

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

static_assert(sizeof(void*) == 8, "this is the 64-bit layout");
static_assert(offsetof(AEffect, magic) == 0, "AEffect::magic");
static_assert(offsetof(AEffect, dispatcher) == 8, "AEffect::dispatcher");
static_assert(offsetof(AEffect, numInputs) == 48, "AEffect::numInputs");
static_assert(offsetof(AEffect, numOutputs) == 52, "AEffect::numOutputs");
static_assert(offsetof(AEffect, flags) == 56, "AEffect::flags");
static_assert(offsetof(AEffect, uniqueID) == 112, "AEffect::uniqueID");
static_assert(offsetof(AEffect, future) == 136, "AEffect::future");
static_assert(sizeof(AEffect) == 192, "a full 64-bit effect");

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

/// Host callback opcodes. 5 has no name.
enum AudioMasterOpcode : int32_t {
    audioMasterAutomate = 0,
    audioMasterVersion = 1,
    audioMasterCurrentId = 2,
    audioMasterIdle = 3,
    audioMasterPinConnected = 4,
    audioMasterWantMidi = 6,
    audioMasterGetTime = 7,
    audioMasterProcessEvents = 8,
    audioMasterSetTime = 9,
    audioMasterTempoAt = 10,
    audioMasterGetNumAutomatableParameters = 11,
    audioMasterGetParameterQuantization = 12,
    audioMasterIOChanged = 13,
    audioMasterNeedIdle = 14,
    audioMasterSizeWindow = 15,
    audioMasterGetSampleRate = 16,
    audioMasterGetBlockSize = 17,
    audioMasterGetInputLatency = 18,
    audioMasterGetOutputLatency = 19,
    audioMasterGetPreviousPlug = 20,
    audioMasterGetNextPlug = 21,
    audioMasterWillReplaceOrAccumulate = 22,
    audioMasterGetCurrentProcessLevel = 23,
    audioMasterGetAutomationState = 24,
    audioMasterOfflineStart = 25,
    audioMasterOfflineRead = 26,
    audioMasterOfflineWrite = 27,
    audioMasterOfflineGetCurrentPass = 28,
    audioMasterOfflineGetCurrentMetaPass = 29,
    audioMasterSetOutputSampleRate = 30,
    audioMasterGetOutputSpeakerArrangement = 31,
    audioMasterGetVendorString = 32,   ///< pointer: buffer of 64 bytes
    audioMasterGetProductString = 33,  ///< pointer: buffer of 64 bytes
    audioMasterGetVendorVersion = 34,
    audioMasterVendorSpecific = 35,
    audioMasterSetIcon = 36,
    audioMasterCanDo = 37,  ///< pointer: zero-terminated capability text
    audioMasterGetLanguage = 38,
    audioMasterOpenWindow = 39,
    audioMasterCloseWindow = 40,
    audioMasterGetDirectory = 41,
    audioMasterUpdateDisplay = 42,
    audioMasterBeginEdit = 43,
    audioMasterEndEdit = 44,
    audioMasterOpenFileSelector = 45,
    audioMasterCloseFileSelector = 46,
    audioMasterEditFile = 47,
    audioMasterGetChunkFile = 48,
    audioMasterGetInputSpeakerArrangement = 49,
};
