#include "scan/EffectProbe.h"

#include "foundation/Map.h"
#include "process/OutputChannel.h"
#include "scan/HostCallback.h"
#include "scan/ScanPlatform.h"
#include "scan/ScanState.h"

#include <cstring>
#include <new>

namespace {

constexpr const char16_t* kShellOutOfMemory = u"Out of memory while enumerating sub-plug-ins";

/// One dispatcher call; the plug-in may have installed a crash filter of its
/// own in it, which the next call's crash must not reach.
intptr_t Dispatch(AEffect* effect, int32_t opcode, void* pointer = nullptr)
{
    const intptr_t answer = effect->dispatcher(effect, opcode, 0, 0, pointer, 0.0f);
    GetScanPlatform().InstallCrashFilter();
    return answer;
}

/// The low 32 bits of an answer, as the plug-in meant them.
int32_t Low32(intptr_t answer) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uintptr_t>(answer))); }

bool CanDo(AEffect* effect, const char* capability)
{
    // Only -1 means no: 0 ("don't know") counts as yes.
    return Low32(Dispatch(effect, effCanDo, const_cast<char*>(capability))) != -1;
}

/// Widens the bytes of a plug-in's text buffer up to the first zero, at most
/// kPluginTextMaxLength of them.
CString WidenPluginText(const char* buffer)
{
    char text[kPluginTextMaxLength + 1];
    std::size_t length = 0;
    while (length < kPluginTextMaxLength && buffer[length] != 0)
        ++length;
    std::memcpy(text, buffer, length);
    text[length] = 0;
    return CString::Widen(text);
}

bool Fail(CPluginInfo& record, const char16_t* error)
{
    record.error.Assign(error);
    return false;
}

/// Fills record.shells with the shell's sub-plug-ins, in the order the shell
/// names them; a repeated id keeps its first name. False with record.error set
/// when memory runs out; the sub-plug-ins named until then stay listed.
bool EnumerateShell(AEffect* effect, CPluginInfo& record)
{
    CMap<int, bool, SValue, SValue, int> seen;
    char name[kPluginTextBufferSize];
    for (int call = 0;; ++call) {
        if (call == kMaxShellEnumerationCalls) {
            LogWarn(u"Shell enumeration stopped after %i calls\n", call);
            return true;
        }
        // Cleared every time: a shell that answers an id without writing a name
        // must not inherit the previous sub-plug-in's name.
        std::memset(name, 0, sizeof name);
        int id = Low32(Dispatch(effect, effShellGetNextPlugin, name));
        if (id == 0)
            return true;
        CString wideName = WidenPluginText(name);
        LogInfo(u"Found shell: %.8X - %s\n", id, wideName.GetText());
        if (seen.Find(id) != nullptr) {
            LogInfo(u"   - duplicate, ignoring\n");
            continue;
        }
        seen.Set(id, true);
        CShellInfo* shell = new (std::nothrow) CShellInfo();
        if (shell == nullptr)
            return Fail(record, kShellOutOfMemory);
        shell->id = id;
        shell->name = wideName;
        if (!record.shells.TryAdd(shell)) {
            delete shell;
            return Fail(record, kShellOutOfMemory);
        }
    }
}

} // namespace

CString GetEffectString(AEffect* effect, int32_t opcode)
{
    char buffer[kPluginTextBufferSize] = {};
    Dispatch(effect, opcode, buffer);
    return WidenPluginText(buffer);
}

CString FormatVstVersion(int32_t value)
{
    if (value == 0)
        return CString();
    if (value < 10)
        return CString::Format(u"%i.0.0.0", value);
    if (value < 10000)
        return CString::Format(u"%i.%i.%i.%i", value / 1000, value / 100 % 10, value / 10 % 10, value % 10);
    if (value < 65536)
        return CString::Format(u"%i.%i.%i.%i", value / 10000, value / 1000 % 10, value / 100 % 10, value / 10 % 10);
    if (value < 0x650000)
        return CString::Format(u"%i.%i.%i.%i", (value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF, 0);
    return CString::Format(u"%i.%i.%i.%i", value / 10000000, value / 100000 % 100, value / 1000 % 100, value % 1000);
}

int32_t CorrectedCategory(int32_t reported, int32_t flags, int32_t numInputs)
{
    if (flags & effFlagsIsSynth)
        return kPlugCategorySynth;
    if (reported == kPlugCategoryUnknown)
        return numInputs == 0 ? kPlugCategorySynth : kPlugCategoryEffect;
    return reported;
}

bool ProbeEffect(void* module, CPluginInfo& record)
{
    IScanPlatform& platform = GetScanPlatform();
    LogInfo(u"Looking for entry point in module %p\n", module);
    if (platform.FindExport(module, "JBridgeBootstrap") != nullptr)
        return Fail(record, u"Module is a jBridge bootstrap, ignoring");

    auto entryPoint = reinterpret_cast<VstEntryPoint>(platform.FindExport(module, "VSTPluginMain"));
    if (entryPoint != nullptr) {
        LogInfo(u"Found VSTPluginMain()\n");
    } else {
        entryPoint = reinterpret_cast<VstEntryPoint>(platform.FindExport(module, "main"));
        if (entryPoint == nullptr)
            return Fail(record, u"Entry point not found, not a VST plugin");
        LogInfo(u"Found main()\n");
    }

    g_wantMidiCalled = false;
    platform.InstallCrashFilter();
    LogInfo(u"Calling entry point...\n");
    AEffect* effect = entryPoint(HostCallback);
    // The plug-in may have installed a filter of its own while it initialised.
    platform.InstallCrashFilter();
    if (effect == nullptr)
        return Fail(record, u"Entry point returned NULL");
    if (effect->magic != kEffectMagic)
        return Fail(record, u"Bad magic");

    record.synthEdit = platform.HasResource(module, kSynthEditResourceId, kSynthEditResourceType);
    record.name = GetEffectString(effect, effGetEffectName);
    record.vendor = GetEffectString(effect, effGetVendorString);
    record.product = GetEffectString(effect, effGetProductString);
    record.id = effect->uniqueID;
    record.category = Low32(Dispatch(effect, effGetPlugCategory));
    record.numInputs = effect->numInputs;
    record.numOutputs = effect->numOutputs;
    record.wantsMidi = CanDo(effect, "receiveVstMidiEvent") || CanDo(effect, "receiveVstEvents") || g_wantMidiCalled;
    record.sendsMidi = CanDo(effect, "sendVstMidiEvent") || CanDo(effect, "sendVstEvents");
    record.audio64 = (effect->flags & effFlagsCanDoubleReplacing) != 0;
    record.version = FormatVstVersion(Low32(Dispatch(effect, effGetVendorVersion)));
    record.category = CorrectedCategory(record.category, effect->flags, effect->numInputs);
    const bool enumerated = record.category != kPlugCategoryShell || EnumerateShell(effect, record);

    LogInfo(u"Dispatching effClose...\n");
    Dispatch(effect, effClose);
    return enumerated;
}
