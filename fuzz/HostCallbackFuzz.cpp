// HostCallback as plug-ins may call it: any opcode, effect, index, value, opt and
// pointer, and for the three opcodes that read the pointer a 64-byte buffer, a
// can-do text (often a capability in mixed case, cut or extended) or null.
// Checked per call against a model: the answer, the log lines, the buffer (the
// host's text, a terminator, nothing written past them), g_wantMidiCalled.

#include "common/FormatReference.h"
#include "common/FuzzCheck.h"
#include "common/UnicodeReference.h"
#include "support/RecordingSink.h"

#include "scan/HostCallback.h"
#include "scan/ScanState.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr unsigned char kUntouched = 0xCC;

const char* const kCapabilities[] = {
    "sizeWindow", "sendVstEvents", "sendVstMidiEvent", "sendVstTimeInfo", "supplyIdle", "receiveVstEvents",
    "receiveVstMidiEvent", "startStopProcess", "sendVstMidiEventFlagIsRealtime", "shellCategory",
};

std::string Lower(std::string text)
{
    for (char& c : text)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return text;
}

bool IsCapability(const std::string& text)
{
    for (const char* capability : kCapabilities) {
        if (Lower(text) == Lower(capability))
            return true;
    }
    return false;
}

/// Whether name fits opcode: "audioMaster..." for 0 to 49 but 5, else "<unknown>". The
/// names come from the product's own list of the enum; the unit tests check a few.
bool NameFits(int32_t opcode, const std::u16string& name)
{
    if (opcode < 0 || opcode > 49 || opcode == 5)
        return name == u"<unknown>";
    return name.size() > 11 && name.compare(0, 11, u"audioMaster") == 0;
}

/// The answer to a call that logs its opcode; the text ones are checked on their buffer.
intptr_t ExpectedAnswer(int32_t opcode, bool& answered)
{
    const std::pair<int32_t, intptr_t> answers[] = {{0, 0}, {1, 2400}, {2, g_currentShellId}, {6, 0}, {14, 1},
                                                    {16, 44100}, {17, 512}, {23, 4}, {34, 3}, {32, 1}, {33, 1}};
    for (const auto& [code, answer] : answers) {
        if (code == opcode)
            return answered = true, answer;
    }
    return answered = false, 0;
}

std::string ConsumeCanDoText(FuzzedDataProvider& data)
{
    if (data.ConsumeBool()) {
        const std::string bytes = data.ConsumeRandomLengthString(80);
        return bytes.substr(0, bytes.find('\0'));
    }
    std::string text = kCapabilities[data.ConsumeIntegralInRange<int>(0, 9)];
    const uint32_t flips = data.ConsumeIntegral<uint32_t>();
    for (std::size_t i = 0; i < text.size() && i < 32; ++i)
        text[i] = static_cast<char>((flips >> i & 1) != 0 ? text[i] ^ 0x20 : text[i]);  // only letters in the list
    switch (data.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: text.pop_back(); break;
    case 1: text += static_cast<char>(data.ConsumeIntegralInRange<int>(1, 255)); break;
    default: break;
    }
    return text;
}

void OneCall(FuzzedDataProvider& data)
{
    const int pick = data.ConsumeIntegralInRange<int>(0, 7);
    const int32_t opcode = pick == 0 ? data.ConsumeIntegral<int32_t>() : pick == 1 ? audioMasterCanDo
                           : pick == 2 ? data.PickValueInArray({audioMasterGetVendorString, audioMasterGetProductString})
                                       : data.ConsumeIntegralInRange<int32_t>(-2, 52);
    AEffect* effect = reinterpret_cast<AEffect*>(data.ConsumeIntegral<uintptr_t>());
    const int32_t index = data.ConsumeIntegral<int32_t>();
    const intptr_t value = data.ConsumeIntegral<intptr_t>();
    const float opt = data.ConsumeFloatingPoint<float>();
    g_currentShellId = data.ConsumeIntegral<int32_t>();
    g_wantMidiCalled = false;
    const bool nullPointer = data.ConsumeIntegralInRange<int>(0, 7) == 0;
    const bool text = opcode == audioMasterGetVendorString || opcode == audioMasterGetProductString;
    const std::string canDo = opcode == audioMasterCanDo ? ConsumeCanDoText(data) : std::string();
    std::vector<unsigned char> buffer(kHostStringRoom, kUntouched);
    void* pointer = reinterpret_cast<void*>(data.ConsumeIntegral<uintptr_t>());
    if (opcode == audioMasterCanDo || text)
        pointer = nullPointer ? nullptr : opcode == audioMasterCanDo ? const_cast<char*>(canDo.c_str()) : static_cast<void*>(buffer.data());

    CRecordingSink sink;
    const intptr_t answer = HostCallback(effect, opcode, index, value, pointer, opt);
    FUZZ_CHECK(g_wantMidiCalled == (opcode == audioMasterWantMidi));
    if (opcode == audioMasterCanDo) {
        const std::u16string message = u"Query host can do: '" + format_reference::WidenBytes(pointer != nullptr ? canDo : "(null)") + u"'\n";
        FUZZ_CHECK(sink.Text() == "info:" + unicode_reference::EncodeUtf8(format_reference::OnOneLine(message)));
        FUZZ_CHECK_MSG(answer == (pointer != nullptr && IsCapability(canDo) ? 1 : 0), Printable(canDo));
        return;
    }
    bool answered = false;
    const intptr_t expected = ExpectedAnswer(opcode, answered);
    const std::u16string name = AudioMasterOpcodeName(opcode).GetText();
    FUZZ_CHECK(NameFits(opcode, name));
    std::string logged = "info:Audio master callback: " + std::to_string(opcode) + " - " + std::string(name.begin(), name.end()) + "\n";
    if (!answered)
        logged += "warn:Unhandled audioMaster opCode - " + std::to_string(opcode) + "\n";
    FUZZ_CHECK_MSG(sink.Text() == logged, Printable(sink.Text()));
    if (!text) {
        FUZZ_CHECK_MSG(answer == expected, "opcode " + std::to_string(opcode) + " answered " + std::to_string(answer));
        return;
    }
    FUZZ_CHECK(answer == (pointer != nullptr ? 1 : 0));
    const std::string host = opcode == audioMasterGetVendorString ? "Vostrel Software" : "Tessivane";
    std::string written(buffer.begin(), buffer.end());
    if (pointer != nullptr)
        FUZZ_CHECK(written == host + '\0' + std::string(kHostStringRoom - host.size() - 1, static_cast<char>(kUntouched)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider provider(data, size);
    const std::string bytes = provider.ConsumeRandomLengthString(100);
    const std::string text = bytes.substr(0, bytes.find('\0'));
    std::vector<char> buffer(kHostStringRoom, static_cast<char>(kUntouched));
    const std::size_t copied = std::min<std::size_t>(text.size(), kHostStringRoom - 1);
    FUZZ_CHECK(CopyHostString(buffer.data(), text.c_str()) == copied);
    FUZZ_CHECK(std::string(buffer.data()) == text.substr(0, copied));
    while (provider.remaining_bytes() > 0)
        OneCall(provider);
    g_currentShellId = 0;
    g_wantMidiCalled = false;
    return 0;
}
