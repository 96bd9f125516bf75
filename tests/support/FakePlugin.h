#pragma once
// A VST 2 effect in plain memory, answering from a table row, for driving the
// probe without loading anything.

#include "vst/Vst2.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

struct SFakePlugin {
    const char* name = "Fake Gain";
    const char* vendor = "Fake Audio";
    const char* product = "Fake Suite";
    int32_t id = 0x46616B65;
    int32_t flags = effFlagsCanDoubleReplacing;
    int32_t category = kPlugCategoryEffect;
    int32_t numInputs = 2;
    int32_t numOutputs = 2;
    /// Answers to effCanDo for receiveVstMidiEvent, receiveVstEvents,
    /// sendVstMidiEvent, sendVstEvents.
    intptr_t canDo[4] = {-1, -1, -1, -1};
    int32_t vendorVersion = 1000;
    bool callsWantMidi = false;
    int32_t magic = kEffectMagic;
    /// Sub-plug-ins handed out by effShellGetNextPlugin, then 0; a null name
    /// writes nothing into the buffer.
    std::vector<std::pair<int32_t, const char*>> shell;
    /// Bytes written into text buffers instead of a zero-terminated name (0: off).
    std::size_t overrunBytes = 0;
};

class CFakeEffect {
public:
    explicit CFakeEffect(SFakePlugin plugin) : config(std::move(plugin))
    {
        std::memset(&effect, 0, sizeof effect);
        effect.magic = config.magic;
        effect.dispatcher = &CFakeEffect::Dispatch;
        effect.numInputs = config.numInputs;
        effect.numOutputs = config.numOutputs;
        effect.flags = config.flags;
        effect.uniqueID = config.id;
        effect.object = this;
    }

    /// The entry point of every fake library: builds the effect that Next() names.
    static AEffect* EntryPoint(AudioMasterCallback host)
    {
        CFakeEffect* self = Next();
        if (self == nullptr)
            return nullptr;
        if (self->config.callsWantMidi)
            host(nullptr, audioMasterWantMidi, 0, 0, nullptr, 0.0f);
        return &self->effect;
    }

    static CFakeEffect*& Next()
    {
        static CFakeEffect* next = nullptr;
        return next;
    }

    AEffect effect;
    SFakePlugin config;
    std::vector<int32_t> opcodes;          ///< every dispatcher call, in order
    std::vector<std::string> canDoQueries; ///< the texts of effCanDo calls

private:
    static intptr_t Dispatch(AEffect* effect, int32_t opcode, int32_t, intptr_t, void* pointer, float)
    {
        CFakeEffect& self = *static_cast<CFakeEffect*>(effect->object);
        self.opcodes.push_back(opcode);
        switch (opcode) {
        case effGetEffectName:
            return self.WriteText(pointer, self.config.name);
        case effGetVendorString:
            return self.WriteText(pointer, self.config.vendor);
        case effGetProductString:
            return self.WriteText(pointer, self.config.product);
        case effGetPlugCategory:
            return self.config.category;
        case effGetVendorVersion:
            return self.config.vendorVersion;
        case effCanDo:
            return self.CanDo(static_cast<const char*>(pointer));
        case effShellGetNextPlugin:
            return self.NextShell(pointer);
        default:
            return 0;
        }
    }

    intptr_t WriteText(void* buffer, const char* text)
    {
        if (config.overrunBytes > 0)
            std::memset(buffer, 'A', config.overrunBytes);
        else if (text != nullptr)
            std::strcpy(static_cast<char*>(buffer), text);
        return 1;
    }

    intptr_t CanDo(const char* capability)
    {
        canDoQueries.push_back(capability);
        const char* known[] = {"receiveVstMidiEvent", "receiveVstEvents", "sendVstMidiEvent", "sendVstEvents"};
        for (int i = 0; i < 4; ++i) {
            if (std::strcmp(capability, known[i]) == 0)
                return config.canDo[i];
        }
        return -1;
    }

    intptr_t NextShell(void* buffer)
    {
        if (m_shellIndex >= config.shell.size())
            return 0;
        const auto& next = config.shell[m_shellIndex++];
        if (next.second != nullptr)
            std::strcpy(static_cast<char*>(buffer), next.second);
        return next.first;
    }

    std::size_t m_shellIndex = 0;
};
