// CString and CAnsiString operations in arbitrary order on a few string slots,
// checked after every step against a model of shared blocks: text, capacity,
// reference count and which slots share a block. Covers Assign and Insert with
// texts from the input, from null and from inside a slot's own (or a shared)
// block; copy and move assignment, self-assignment included; GetBuffer with and
// without writing; equality; and a failed allocation before any step, which must
// leave the documented state (GetBuffer: unchanged and null; Assign: false and
// null; Insert: false and unchanged).

#include "common/FuzzCheck.h"
#include "common/StringChecks.h"

#include "foundation/String.h"
#include "foundation/StringAllocation.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>

namespace {

struct SWide {
    using TString = CString;
    using TUnit = char16_t;
    /// CString takes a count; CAnsiString always the whole text.
    static constexpr bool kCounted = true;
    static bool Assign(CString& string, const char16_t* text, int count) { return string.Assign(text, count); }
    static bool Insert(CString& string, int index, const char16_t* text, int count)
    {
        return string.Insert(index, text, count);
    }
};

struct SNarrow {
    using TString = CAnsiString;
    using TUnit = char;
    static constexpr bool kCounted = false;
    static bool Assign(CAnsiString& string, const char* text, int) { return string.Assign(text); }
    static bool Insert(CAnsiString& string, int index, const char* text, int) { return string.Insert(index, text); }
};

/// What the model knows of one block; slots that share a block share this.
template <class TUnit>
struct SModelBlock {
    std::basic_string<TUnit> text;
    int capacity;
};

template <class TTraits>
class CStringOps {
public:
    using TString = typename TTraits::TString;
    using TUnit = typename TTraits::TUnit;
    using TText = std::basic_string<TUnit>;
    using TBlock = std::shared_ptr<SModelBlock<TUnit>>;
    static constexpr int kSlots = 4;
    static constexpr std::size_t kMaxPiece = 64;

    explicit CStringOps(FuzzedDataProvider& data) : m_data(data) {}

    void Step()
    {
        const int slot = m_data.ConsumeIntegralInRange<int>(0, kSlots - 1);
        const int other = m_data.ConsumeIntegralInRange<int>(0, kSlots - 1);
        const bool failAllocation = m_data.ConsumeIntegralInRange<int>(0, 7) == 0;
        switch (m_data.ConsumeIntegralInRange<int>(0, 5)) {
        case 0: Assign(slot, other, failAllocation); break;
        case 1: Insert(slot, other, failAllocation); break;
        case 2: GetBuffer(slot, failAllocation); break;
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
            const bool bothNull = !m_model[slot] && !m_model[other];
            const bool expected = bothNull || (m_model[slot] && m_model[other] && m_model[slot]->text == m_model[other]->text);
            FUZZ_CHECK((m_strings[slot] == m_strings[other]) == expected);
            FUZZ_CHECK((m_strings[slot] != m_strings[other]) == !expected);
            break;
        }
        }
        CheckAll();
    }

private:
    /// A source text: null, the input, or a tail of a slot's block (this slot's or another's).
    struct SSource {
        const TUnit* pointer = nullptr;
        const SModelBlock<TUnit>* block = nullptr; ///< the block pointer lies in, if a slot's
        TText text; ///< what pointer points at, up to its terminator
        TText storage;
    };

    SSource ConsumeSource(int other)
    {
        SSource source;
        switch (m_data.ConsumeIntegralInRange<int>(0, 3)) {
        case 0:
            return source;
        case 1:
            if (m_model[other]) {
                // At most the last kMaxPiece units, so that texts grow slowly.
                const std::size_t length = m_model[other]->text.size();
                const std::size_t first = length > kMaxPiece ? length - kMaxPiece : 0;
                const std::size_t offset = m_data.ConsumeIntegralInRange<std::size_t>(first, length);
                source.pointer = m_strings[other].GetText() + offset;
                source.block = m_model[other].get();
                source.text = m_model[other]->text.substr(offset);
                return source;
            }
            break;
        default:
            break;
        }
        const std::string bytes = m_data.ConsumeRandomLengthString(2 * kMaxPiece);
        for (std::size_t i = 0; i + sizeof(TUnit) <= bytes.size(); i += sizeof(TUnit)) {
            TUnit unit = 0;
            for (std::size_t b = 0; b < sizeof(TUnit); ++b) {
                unit = static_cast<TUnit>(unit | static_cast<unsigned char>(bytes[i + b]) << (8 * b));
            }
            if (unit == 0) {
                break;
            }
            source.storage += unit;
        }
        source.text = source.storage;
        source.pointer = source.storage.c_str();
        return source;
    }

    /// A count for source: -1 (the whole text) or 0 to its length; always -1 for CAnsiString.
    int ConsumeCount(const SSource& source)
    {
        if (!TTraits::kCounted || m_data.ConsumeBool()) {
            return -1;
        }
        return m_data.ConsumeIntegralInRange<int>(0, static_cast<int>(source.text.size()));
    }

    static TText Piece(const SSource& source, int count)
    {
        return count < 0 ? source.text : source.text.substr(0, static_cast<std::size_t>(count));
    }

    bool IsShared(int slot) const { return m_model[slot] && m_model[slot].use_count() > 1; }

    void Assign(int slot, int other, bool failAllocation)
    {
        const SSource source = ConsumeSource(other);
        const int count = ConsumeCount(source);
        const TText piece = Piece(source, count);
        FailStringAllocationsAfter(failAllocation ? 0 : -1);
        const bool assigned = TTraits::Assign(m_strings[slot], source.pointer, count);
        FailStringAllocationsAfter(-1);

        m_model[slot].reset();
        if (source.pointer == nullptr) {
            FUZZ_CHECK(assigned);
            return;
        }
        if (failAllocation) {
            FUZZ_CHECK(!assigned);
            return;
        }
        FUZZ_CHECK(assigned);
        m_model[slot] = std::make_shared<SModelBlock<TUnit>>(SModelBlock<TUnit>{piece, static_cast<int>(piece.size())});
        FUZZ_CHECK(m_strings[slot].GetCachedLength() == static_cast<int>(piece.size()));
    }

    void Insert(int slot, int other, bool failAllocation)
    {
        const SSource source = ConsumeSource(other);
        const int count = ConsumeCount(source);
        const int index = m_data.ConsumeIntegralInRange<int>(-2, 70);
        const TText piece = Piece(source, count);
        FailStringAllocationsAfter(failAllocation ? 0 : -1);
        const bool inserted = TTraits::Insert(m_strings[slot], index, source.pointer, count);
        FailStringAllocationsAfter(-1);

        // CString: a count of 0 or a null text changes nothing. CAnsiString always
        // runs, a null text counting as empty.
        if (TTraits::kCounted && (count == 0 || source.pointer == nullptr)) {
            FUZZ_CHECK(inserted);
            return;
        }
        const TText old = m_model[slot] ? m_model[slot]->text : TText();
        const int length = static_cast<int>(old.size());
        const int total = length + static_cast<int>(piece.size());
        int capacity = total;
        // A text from inside the slot's own block counts as sharing it: the block is
        // copied to the exact size rather than moved under the text.
        const bool fromOwnBlock = source.block != nullptr && source.block == m_model[slot].get();
        bool allocates = true;
        if (m_model[slot] && !IsShared(slot) && !fromOwnBlock) {
            const int current = m_model[slot]->capacity;
            allocates = total > current;
            capacity = allocates ? std::max(2 * current, total) : current;
        }
        if (failAllocation && allocates) {
            FUZZ_CHECK(!inserted);
            return;
        }
        FUZZ_CHECK(inserted);
        const std::size_t at = index < 0 || index > length ? old.size() : static_cast<std::size_t>(index);
        Replace(slot, old.substr(0, at) + piece + old.substr(at), capacity);
        FUZZ_CHECK(m_strings[slot].GetCachedLength() == total);
    }

    void GetBuffer(int slot, bool failAllocation)
    {
        const int capacity = m_data.ConsumeIntegralInRange<int>(-1, 80);
        FailStringAllocationsAfter(failAllocation ? 0 : -1);
        TUnit* buffer = m_strings[slot].GetBuffer(capacity);
        FailStringAllocationsAfter(-1);

        const bool shared = IsShared(slot);
        const bool fits = m_model[slot] && !shared && m_model[slot]->capacity >= capacity;
        if (capacity < 0 || (failAllocation && !fits)) {
            FUZZ_CHECK(buffer == nullptr);
            return;
        }
        FUZZ_CHECK(buffer != nullptr && buffer == m_strings[slot].GetText());
        FUZZ_CHECK(m_strings[slot].GetCachedLength() == -1);
        TText text = m_model[slot] ? m_model[slot]->text : TText();
        if (shared) {
            text = text.substr(0, static_cast<std::size_t>(capacity)); // a copy keeps what fits
        }
        if (m_data.ConsumeBool()) {
            const std::size_t length = m_data.ConsumeIntegralInRange<std::size_t>(0, static_cast<std::size_t>(capacity));
            text.assign(length, static_cast<TUnit>('0' + slot));
            std::copy(text.begin(), text.end(), buffer);
            buffer[length] = 0;
        }
        Replace(slot, text, fits ? m_model[slot]->capacity : capacity);
    }

    /// The slot now has a private block (a shared one was copied).
    void Replace(int slot, const TText& text, int capacity)
    {
        m_model[slot] = std::make_shared<SModelBlock<TUnit>>(SModelBlock<TUnit>{text, capacity});
    }

    void CheckAll() const
    {
        for (int i = 0; i < kSlots; ++i) {
            const TString& string = m_strings[i];
            if (!m_model[i]) {
                FUZZ_CHECK(string.GetText() == nullptr);
                continue;
            }
            FUZZ_CHECK(string.GetText() != nullptr);
            FUZZ_CHECK(CheckedText(string) == m_model[i]->text);
            FUZZ_CHECK_MSG(string.GetCapacity() == m_model[i]->capacity,
                           "capacity " + std::to_string(string.GetCapacity()) + ", expected " +
                               std::to_string(m_model[i]->capacity));
            FUZZ_CHECK(string.GetReferenceCount() == m_model[i].use_count());
            for (int j = 0; j < kSlots; ++j) {
                if (m_model[j]) {
                    FUZZ_CHECK((string.GetText() == m_strings[j].GetText()) == (m_model[i] == m_model[j]));
                }
            }
        }
    }

    FuzzedDataProvider& m_data;
    std::array<TString, kSlots> m_strings;
    std::array<TBlock, kSlots> m_model;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider provider(data, size);
    CStringOps<SWide> wide(provider);
    CStringOps<SNarrow> narrow(provider);
    while (provider.remaining_bytes() > 0) {
        if (provider.ConsumeBool()) {
            wide.Step();
        } else {
            narrow.Step();
        }
    }
    return 0;
}
