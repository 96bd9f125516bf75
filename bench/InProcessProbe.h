#pragma once
/// What both systems' InProcessLimit programs do with an effect once its entry
/// point returned it: the server's dispatcher questions and effClose, with a
/// host callback that answers only the version; and the line they write for
/// the protocol's share of a request.

#include "scan/HostCallback.h"
#include "vst/Vst2.h"

#include <cstdint>
#include <initializer_list>

/// A record line of typical length; the pipe's cost hardly depends on it.
constexpr char kInProcessLine[] = ">:  \"vendor\":    \"Tessivane Fixtures\",\n";

inline intptr_t VST2_CALL MinimalHostCallback(AEffect*, int32_t opcode, int32_t, intptr_t, void*, float)
{
    return opcode == audioMasterVersion ? kHostVstVersion : 0;
}

/// Asks the effect what the server asks a plain effect, then closes it.
inline void ProbeAndClose(AEffect* effect)
{
    constexpr int kTextBufferSize = 512;
    const auto dispatch = [effect](int32_t opcode, void* pointer) {
        return effect->dispatcher(effect, opcode, 0, 0, pointer, 0.0f);
    };
    const auto canDo = [&dispatch](const char* capability) {
        return static_cast<int32_t>(dispatch(effCanDo, const_cast<char*>(capability))) != -1;
    };
    char text[kTextBufferSize] = {};
    for (const int32_t opcode : {effGetEffectName, effGetVendorString, effGetProductString}) {
        text[0] = 0;
        dispatch(opcode, text);
    }
    volatile bool answers = dispatch(effGetPlugCategory, nullptr) != 0;
    answers = canDo("receiveVstMidiEvent") || canDo("receiveVstEvents");
    answers = canDo("sendVstMidiEvent") || canDo("sendVstEvents");
    answers = dispatch(effGetVendorVersion, nullptr) != 0;
    static_cast<void>(answers);
    dispatch(effClose, nullptr);
}
