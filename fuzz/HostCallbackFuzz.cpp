// HostCallback as plug-ins may call it: any opcode (the handled ones, the unnamed
// 5, everything up to 49 and beyond, negative ones), any effect, index, value and
// opt, any pointer value for the opcodes that do not read it, and for the three
// that do (audioMasterGetVendorString, audioMasterGetProductString: a 64-byte
// buffer or null; audioMasterCanDo: a text, often a capability in mixed case, or
// null). Checked per call: the answer, the log lines, the buffer (the host's
// text, a terminator, nothing written past them), g_wantMidiCalled.
// AudioMasterOpcodeName and CopyHostString are checked on their own as well.

#include "common/FormatReference.h"
#include "common/FuzzCheck.h"
#include "common/UnicodeReference.h"
#include "support/RecordingSink.h"

#include "scan/HostCallback.h"
#include "scan/ScanState.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr unsigned char kUntouched = 0xCC;

const char* const kCapabilities[] = {
    "sizeWindow",       "sendVstEvents",       "sendVstMidiEvent", "sendVstTimeInfo",
    "supplyIdle",       "receiveVstEvents",    "receiveVstMidiEvent", "startStopProcess",
    "sendVstMidiEventFlagIsRealtime", "shellCategory",
};

/// Whether name fits opcode: "audioMaster..." for 0 to 49 but 5, else "<unknown>". The
/// names come from the product's own list of the enum; the unit tests check a few.
bool NameFits(std::int32_t opcode, const std::u16string& name)
{
    if (opcode < 0 || opcode > 49 || opcode == 5)
        return name == u"<unknown>";
    return name.size() > 11 && name.compare(0, 11, u"audioMaster") == 0;
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsCapability(const std::string& text)
{
    for (const char* capability : kCapabilities) {
        std::string lower;
        for (const char c : text) {
            lower += LowerAscii(c);
        }
        std::string expected;
        for (const char* c = capability; *c != 0; ++c) {
            expected += LowerAscii(*c);
        }
        if (lower == expected) {
            return true;
        }
    }
    return false;
}

/// The can-do line for a text: each byte one unit, a line feed or carriage return inside the line as '?', UTF-8.
std::string CanDoLine(const std::string& bytes)
{
    const std::u16string message = u"Query host can do: '" + format_reference::WidenBytes(bytes) + u"'\n";
    return "info:" + unicode_reference::EncodeUtf8(format_reference::OnOneLine(message));
}

/// A can-do text: a capability with some letters' case flipped and perhaps cut or
/// extended, or arbitrary bytes.
std::string ConsumeCanDoText(FuzzedDataProvider& data)
{
    if (data.ConsumeBool()) {
        const std::string bytes = data.ConsumeRandomLengthString(80);
        return bytes.substr(0, bytes.find('\0'));
    }
    std::string text = kCapabilities[data.ConsumeIntegralInRange<int>(0, 9)];
    const std::uint32_t flips = data.ConsumeIntegral<std::uint32_t>();
    for (std::size_t i = 0; i < text.size() && i < 32; ++i) {
        if ((flips >> i & 1) != 0 && ((text[i] >= 'a' && text[i] <= 'z') || (text[i] >= 'A' && text[i] <= 'Z'))) {
            text[i] = static_cast<char>(text[i] ^ 0x20);
        }
    }
    switch (data.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: text.pop_back(); break;
    case 1: text += static_cast<char>(data.ConsumeIntegralInRange<int>(1, 255)); break;
    default: break;
    }
    return text;
}

std::int32_t ConsumeOpcode(FuzzedDataProvider& data)
{
    switch (data.ConsumeIntegralInRange<int>(0, 7)) {
    case 0: return data.ConsumeIntegral<std::int32_t>();
    case 1: return audioMasterCanDo;
    case 2: return data.ConsumeBool() ? audioMasterGetVendorString : audioMasterGetProductString;
    default: return data.ConsumeIntegralInRange<std::int32_t>(-2, 52);
    }
}

void CheckStringAnswer(std::intptr_t answer, const unsigned char* buffer, const char* text)
{
    if (buffer == nullptr) {
        FUZZ_CHECK(answer == 0);
        return;
    }
    FUZZ_CHECK(answer == 1);
    const std::size_t length = std::strlen(text);
    FUZZ_CHECK(std::memcmp(buffer, text, length + 1) == 0);
    for (std::size_t i = length + 1; i < kHostStringRoom; ++i) {
        FUZZ_CHECK_MSG(buffer[i] == kUntouched, "byte " + std::to_string(i) + " written past the terminator");
    }
}

std::intptr_t ExpectedAnswer(std::int32_t opcode)
{
    switch (opcode) {
    case 1: return 2400;
    case 2: return g_currentShellId;
    case 14: return 1;
    case 16: return 44100;
    case 17: return 512;
    case 23: return 4;
    case 34: return 3;
    default: return 0;
    }
}

bool IsAnswered(std::int32_t opcode)
{
    switch (opcode) {
    case 0: case 1: case 2: case 6: case 14: case 16: case 17: case 23: case 32: case 33: case 34: return true;
    default: return false;
    }
}

void OneCall(FuzzedDataProvider& data)
{
    const std::int32_t opcode = ConsumeOpcode(data);
    AEffect* effect = reinterpret_cast<AEffect*>(data.ConsumeIntegral<std::uintptr_t>());
    const std::int32_t index = data.ConsumeIntegral<std::int32_t>();
    const std::intptr_t value = data.ConsumeIntegral<std::intptr_t>();
    const float opt = data.ConsumeFloatingPoint<float>();
    g_currentShellId = data.ConsumeIntegral<std::int32_t>();
    g_wantMidiCalled = false;
    const bool nullPointer = data.ConsumeIntegralInRange<int>(0, 7) == 0;

    std::string canDo;
    std::unique_ptr<unsigned char[]> buffer;
    void* pointer = reinterpret_cast<void*>(data.ConsumeIntegral<std::uintptr_t>());
    if (opcode == audioMasterCanDo) {
        canDo = ConsumeCanDoText(data);
        pointer = nullPointer ? nullptr : const_cast<char*>(canDo.c_str());
    } else if (opcode == audioMasterGetVendorString || opcode == audioMasterGetProductString) {
        buffer.reset(new unsigned char[kHostStringRoom]);
        std::memset(buffer.get(), kUntouched, kHostStringRoom);
        pointer = nullPointer ? nullptr : buffer.get();
    }

    CRecordingSink sink;
    const std::intptr_t answer = HostCallback(effect, opcode, index, value, pointer, opt);
    FUZZ_CHECK(g_wantMidiCalled == (opcode == audioMasterWantMidi));

    if (opcode == audioMasterCanDo) {
        FUZZ_CHECK(sink.writes.size() == 1);
        FUZZ_CHECK_MSG(sink.writes[0] == CanDoLine(pointer != nullptr ? canDo : "(null)"), Printable(sink.writes[0]));
        FUZZ_CHECK_MSG(answer == (pointer != nullptr && IsCapability(canDo) ? 1 : 0),
                       "can do '" + Printable(canDo) + "' answered " + std::to_string(answer));
        return;
    }

    const std::u16string name = AudioMasterOpcodeName(opcode).GetText();
    const std::string logged = "info:Audio master callback: " + std::to_string(opcode) + " - " + std::string(name.begin(), name.end()) + "\n";
    FUZZ_CHECK(sink.writes.size() == (IsAnswered(opcode) ? 1u : 2u));
    FUZZ_CHECK_MSG(sink.writes[0] == logged, Printable(sink.writes[0]));
    if (!IsAnswered(opcode)) {
        FUZZ_CHECK(sink.writes[1] == "warn:Unhandled audioMaster opCode - " + std::to_string(opcode) + "\n");
    }
    if (opcode == audioMasterGetVendorString) {
        CheckStringAnswer(answer, static_cast<unsigned char*>(pointer), "Vostrel Software");
    } else if (opcode == audioMasterGetProductString) {
        CheckStringAnswer(answer, static_cast<unsigned char*>(pointer), "Tessivane");
    } else {
        FUZZ_CHECK_MSG(answer == ExpectedAnswer(opcode),
                       "opcode " + std::to_string(opcode) + " answered " + std::to_string(answer));
    }
}

void CheckHelpers(FuzzedDataProvider& data)
{
    const std::int32_t opcode = data.ConsumeIntegral<std::int32_t>();
    const CString name = AudioMasterOpcodeName(opcode);
    FUZZ_CHECK(name.GetText() != nullptr && NameFits(opcode, name.GetText()));

    const std::string bytes = data.ConsumeRandomLengthString(100);
    const std::string text = bytes.substr(0, bytes.find('\0'));
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[kHostStringRoom]);
    std::memset(buffer.get(), kUntouched, kHostStringRoom);
    const std::size_t copied = CopyHostString(reinterpret_cast<char*>(buffer.get()), text.c_str());
    const std::size_t expected = text.size() < kHostStringRoom - 1 ? text.size() : kHostStringRoom - 1;
    FUZZ_CHECK(copied == expected);
    FUZZ_CHECK(std::memcmp(buffer.get(), text.data(), expected) == 0 && buffer[expected] == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider provider(data, size);
    CheckHelpers(provider);
    while (provider.remaining_bytes() > 0) {
        OneCall(provider);
    }
    g_currentShellId = 0;
    g_wantMidiCalled = false;
    return 0;
}
