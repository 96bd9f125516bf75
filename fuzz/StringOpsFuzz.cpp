// CString and CAnsiString operations in arbitrary order on a few string slots,
// checked after every step against a model of shared blocks (text, capacity,
// reference count, which slots share a block): Assign and Insert of texts from the
// input, from null and from inside a slot's own or a shared block; copy and move
// assignment, self-assignment included; GetBuffer with and without writing;
// equality; and a failed allocation before any step, which must leave the documented
// state (GetBuffer: unchanged and null; Assign: false and null; Insert: false and unchanged).

#include "common/FuzzCheck.h"
#include "common/StringChecks.h"

#include "foundation/String.h"
#include "foundation/StringAllocation.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>

namespace {

template <class TString>
class CStringOps {
public:
    using TUnit = std::remove_const_t<std::remove_pointer_t<decltype(TString().GetText())>>;
    using TText = std::basic_string<TUnit>;
    static constexpr int kSlots = 4;
    static constexpr std::size_t kMaxPiece = 64;
    /// CString takes a count; CAnsiString always the whole text.
    static constexpr bool kCounted = std::is_same<TString, CString>::value;

    explicit CStringOps(FuzzedDataProvider& data) : m_data(data) {}

    void Step()
    {
        const int slot = m_data.ConsumeIntegralInRange<int>(0, kSlots - 1);
        const int other = m_data.ConsumeIntegralInRange<int>(0, kSlots - 1);
        const bool fail = m_data.ConsumeIntegralInRange<int>(0, 7) == 0;
        switch (m_data.ConsumeIntegralInRange<int>(0, 5)) {
        case 0: Assign(slot, other, fail); break;
        case 1: Insert(slot, other, fail); break;
        case 2: GetBuffer(slot, fail); break;
        case 3:
            m_strings[slot] = m_strings[other];
            m_model[slot] = m_model[other];
            break;
        case 4:
            if (slot != other) {
                m_strings[slot] = std::move(m_strings[other]);
                m_model[slot] = std::move(m_model[other]);
                m_model[other].reset();
            }
            break;
        default: {
            const bool equal = m_model[slot] ? m_model[other] && m_model[slot]->text == m_model[other]->text : !m_model[other];
            FUZZ_CHECK((m_strings[slot] == m_strings[other]) == equal && (m_strings[slot] != m_strings[other]) != equal);
        }
        }
        CheckAll();
    }

private:
    struct SBlock {
        TText text;
        int capacity;
    };

    /// A source text: null, the input, or a tail of a slot's block (this slot's or another's).
    struct SSource {
        const TUnit* pointer = nullptr;
        const SBlock* block = nullptr; ///< the block pointer lies in, if a slot's
        TText text;                    ///< what pointer points at, up to its terminator
    };

    static bool AssignText(CString& s, const char16_t* text, int count) { return s.Assign(text, count); }
    static bool AssignText(CAnsiString& s, const char* text, int) { return s.Assign(text); }
    static bool InsertText(CString& s, int index, const char16_t* text, int count) { return s.Insert(index, text, count); }
    static bool InsertText(CAnsiString& s, int index, const char* text, int) { return s.Insert(index, text); }

    SSource ConsumeSource(int other)
    {
        const int kind = m_data.ConsumeIntegralInRange<int>(0, 3);
        if (kind == 0) {
            return {};
        }
        if (kind == 1 && m_model[other]) {
            // At most the last kMaxPiece units, so that texts grow slowly.
            const std::size_t length = m_model[other]->text.size();
            const std::size_t offset = m_data.ConsumeIntegralInRange<std::size_t>(length > kMaxPiece ? length - kMaxPiece : 0, length);
            return {m_strings[other].GetText() + offset, m_model[other].get(), m_model[other]->text.substr(offset)};
        }
        const std::string bytes = m_data.ConsumeRandomLengthString(2 * kMaxPiece);
        m_input.assign(bytes.size() / sizeof(TUnit), 0);
        std::memcpy(&m_input[0], bytes.data(), m_input.size() * sizeof(TUnit));
        m_input = TText(m_input.c_str()); // up to the first zero unit
        return {m_input.c_str(), nullptr, m_input};
    }

    /// A count for source: -1 (the whole text) or 0 to its length; always -1 for CAnsiString.
    int ConsumeCount(const SSource& source)
    {
        return !kCounted || m_data.ConsumeBool() ? -1 : m_data.ConsumeIntegralInRange<int>(0, static_cast<int>(source.text.size()));
    }

    void Assign(int slot, int other, bool fail)
    {
        const SSource source = ConsumeSource(other);
        const int count = ConsumeCount(source);
        FailStringAllocationsAfter(fail ? 0 : -1);
        const bool assigned = AssignText(m_strings[slot], source.pointer, count);
        FailStringAllocationsAfter(-1);
        m_model[slot].reset();
        FUZZ_CHECK(assigned == (source.pointer == nullptr || !fail));
        if (source.pointer != nullptr && !fail) {
            const TText piece = source.text.substr(0, static_cast<std::size_t>(count));
            Replace(slot, piece, static_cast<int>(piece.size()));
            FUZZ_CHECK(m_strings[slot].GetCachedLength() == static_cast<int>(piece.size()));
        }
    }

    void Insert(int slot, int other, bool fail)
    {
        const SSource source = ConsumeSource(other);
        const int count = ConsumeCount(source);
        const int index = m_data.ConsumeIntegralInRange<int>(-2, 70);
        FailStringAllocationsAfter(fail ? 0 : -1);
        const bool inserted = InsertText(m_strings[slot], index, source.pointer, count);
        FailStringAllocationsAfter(-1);

        // CString: a count of 0 or a null text changes nothing. CAnsiString always runs, null counting as empty.
        if (kCounted && (count == 0 || source.pointer == nullptr)) {
            FUZZ_CHECK(inserted);
            return;
        }
        const TText piece = source.text.substr(0, static_cast<std::size_t>(count));
        const TText old = m_model[slot] ? m_model[slot]->text : TText();
        const int total = static_cast<int>(old.size() + piece.size());
        int capacity = total;
        // A text from inside the slot's own block counts as sharing it: the block is
        // copied to the exact size rather than moved under the text.
        bool allocates = true;
        if (m_model[slot] && m_model[slot].use_count() == 1 && source.block != m_model[slot].get()) {
            const int current = m_model[slot]->capacity;
            allocates = total > current;
            capacity = allocates ? std::max(2 * current, total) : current;
        }
        FUZZ_CHECK(inserted == !(fail && allocates));
        if (inserted) {
            const std::size_t at = index < 0 || static_cast<std::size_t>(index) > old.size() ? old.size() : static_cast<std::size_t>(index);
            Replace(slot, old.substr(0, at) + piece + old.substr(at), capacity);
            FUZZ_CHECK(m_strings[slot].GetCachedLength() == total);
        }
    }

    void GetBuffer(int slot, bool fail)
    {
        const int capacity = m_data.ConsumeIntegralInRange<int>(-1, 80);
        FailStringAllocationsAfter(fail ? 0 : -1);
        TUnit* buffer = m_strings[slot].GetBuffer(capacity);
        FailStringAllocationsAfter(-1);

        const bool shared = m_model[slot] && m_model[slot].use_count() > 1;
        const bool fits = m_model[slot] && !shared && m_model[slot]->capacity >= capacity;
        if (capacity < 0 || (fail && !fits)) {
            FUZZ_CHECK(buffer == nullptr);
            return;
        }
        FUZZ_CHECK(buffer != nullptr && buffer == m_strings[slot].GetText() && m_strings[slot].GetCachedLength() == -1);
        TText text = m_model[slot] ? m_model[slot]->text.substr(0, shared ? capacity : TText::npos) : TText(); // a copy keeps what fits
        if (m_data.ConsumeBool()) {
            text.assign(m_data.ConsumeIntegralInRange<std::size_t>(0, static_cast<std::size_t>(capacity)), static_cast<TUnit>('0' + slot));
            std::copy(text.c_str(), text.c_str() + text.size() + 1, buffer);
        }
        Replace(slot, text, fits ? m_model[slot]->capacity : capacity);
    }

    /// The slot now has a private block (a shared one was copied).
    void Replace(int slot, const TText& text, int capacity) { m_model[slot] = std::make_shared<SBlock>(SBlock{text, capacity}); }

    void CheckAll() const
    {
        for (int i = 0; i < kSlots; ++i) {
            const TString& string = m_strings[i];
            FUZZ_CHECK((string.GetText() == nullptr) == !m_model[i]);
            if (m_model[i]) {
                FUZZ_CHECK(CheckedText(string) == m_model[i]->text);
                FUZZ_CHECK_MSG(string.GetCapacity() == m_model[i]->capacity,
                               "capacity " + std::to_string(string.GetCapacity()) + ", expected " + std::to_string(m_model[i]->capacity));
                FUZZ_CHECK(string.GetReferenceCount() == m_model[i].use_count());
                for (int j = 0; j < kSlots; ++j) {
                    FUZZ_CHECK(!m_model[j] || (string.GetText() == m_strings[j].GetText()) == (m_model[i] == m_model[j]));
                }
            }
        }
    }

    FuzzedDataProvider& m_data;
    std::array<TString, kSlots> m_strings;
    std::array<std::shared_ptr<SBlock>, kSlots> m_model;
    TText m_input; ///< the current source text from the input
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider provider(data, size);
    CStringOps<CString> wide(provider);
    CStringOps<CAnsiString> narrow(provider);
    while (provider.remaining_bytes() > 0) {
        if (provider.ConsumeBool()) {
            wide.Step();
        } else {
            narrow.Step();
        }
    }
    return 0;
}
