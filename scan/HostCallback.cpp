#include "scan/HostCallback.h"

#include "process/OutputChannel.h"
#include "scan/ScanState.h"

#include <type_traits>

static_assert(std::is_same<decltype(&HostCallback), AudioMasterCallback>::value,
              "HostCallback is handed to plug-ins as their audioMaster callback");

namespace {

// What the server tells plug-ins about itself.
constexpr const char* kHostVendor = "Vostrel Software";
constexpr const char* kHostProduct = "Tessivane";
constexpr intptr_t kHostVendorVersion = 3;
constexpr intptr_t kSampleRate = 44100;
constexpr intptr_t kBlockSize = 512;
constexpr intptr_t kProcessLevelOffline = 4;

const char* const kHostCapabilities[] = {
    "sizeWindow",
    "sendVstEvents",
    "sendVstMidiEvent",
    "sendVstTimeInfo",
    "supplyIdle",
    "receiveVstEvents",
    "receiveVstMidiEvent",
    "startStopProcess",
    "sendVstMidiEventFlagIsRealtime",
    "shellCategory",
};

char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualIgnoringAsciiCase(const char* a, const char* b)
{
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (LowerAscii(*a) != LowerAscii(*b))
            return false;
    }
    return *a == *b;
}

intptr_t AnswerCanDo(const char* text)
{
    LogInfo(u"Query host can do: '%S'\n", text != nullptr ? text : "(null)");
    if (text == nullptr)
        return 0;
    for (const char* capability : kHostCapabilities) {
        if (EqualIgnoringAsciiCase(text, capability))
            return 1;
    }
    return 0;
}

intptr_t AnswerString(void* buffer, const char* text)
{
    if (buffer == nullptr)
        return 0;
    CopyHostString(static_cast<char*>(buffer), text);
    return 1;
}

} // namespace

std::size_t CopyHostString(char* buffer, const char* text)
{
    std::size_t count = 0;
    for (; count < kHostStringRoom - 1 && text[count] != '\0'; ++count)
        buffer[count] = text[count];
    buffer[count] = '\0';
    return count;
}

CString AudioMasterOpcodeName(int32_t opcode)
{
    const char* name = FindAudioMasterOpcodeName(opcode);
    return CString::Widen(name != nullptr ? name : "<unknown>");
}

intptr_t VST2_CALL HostCallback(AEffect*, int32_t opcode, int32_t, intptr_t, void* ptr, float)
{
    if (opcode == audioMasterCanDo)
        return AnswerCanDo(static_cast<const char*>(ptr));

    LogInfo(u"Audio master callback: %i - %s\n", static_cast<int>(opcode), AudioMasterOpcodeName(opcode).GetText());
    switch (opcode) {
    case audioMasterAutomate: return 0;
    case audioMasterVersion: return kHostVstVersion;
    case audioMasterCurrentId: return g_currentShellId;
    case audioMasterWantMidi: g_wantMidiCalled = true; return 0;
    case audioMasterNeedIdle: return 1;
    case audioMasterGetSampleRate: return kSampleRate;
    case audioMasterGetBlockSize: return kBlockSize;
    case audioMasterGetCurrentProcessLevel: return kProcessLevelOffline;
    case audioMasterGetVendorString: return AnswerString(ptr, kHostVendor);
    case audioMasterGetProductString: return AnswerString(ptr, kHostProduct);
    case audioMasterGetVendorVersion: return kHostVendorVersion;
    default:
        LogWarn(u"Unhandled audioMaster opCode - %i\n", static_cast<int>(opcode));
        return 0;
    }
}
