#include "foundation/String.h"

#include "foundation/StringAllocation.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int g_allocationsBeforeFailure = -1;

/// malloc (old null) or realloc, subject to FailStringAllocationsAfter.
void* AllocateBlock(void* old, std::size_t size)
{
    if (g_allocationsBeforeFailure == 0) {
        return nullptr;
    }
    if (g_allocationsBeforeFailure > 0) {
        --g_allocationsBeforeFailure;
    }
    return old ? std::realloc(old, size) : std::malloc(size);
}

struct SBlockHeader {
    std::int32_t referenceCount;
    std::int32_t capacity;
    std::int32_t cachedLength;
};
static_assert(sizeof(SBlockHeader) == 12, "the text starts 12 bytes into its block");

/// The block logic of both string types over their code unit TUnit. Every
/// operation works on a string object's text pointer (null: the empty string).
/// Besides the invariants of String.h, every block this code hands out holds a
/// 0 at index capacity, so a caller that forgets its terminator still leaves a
/// terminated text.
template <typename TUnit>
class CTextBlock {
public:
    /// Units after the capacity: the terminator's slot and slack, 4 bytes in both types.
    static constexpr int kTrailingUnits = 4 / static_cast<int>(sizeof(TUnit));

    static void AddReference(TUnit* text)
    {
        if (text) {
            ++Header(text)->referenceCount;
        }
    }

    static void Release(TUnit*& text)
    {
        if (!text) {
            return;
        }
        SBlockHeader* header = Header(text);
        if (header->referenceCount < 2) {
            std::free(header);
        } else {
            --header->referenceCount;
        }
        text = nullptr;
    }

    static int Length(const TUnit* text)
    {
        if (!text) {
            return 0;
        }
        SBlockHeader* header = Header(text);
        if (header->cachedLength < 0) {
            int length = 0;
            while (length < header->capacity && text[length] != 0) {
                ++length;
            }
            header->cachedLength = length;
        }
        return header->cachedLength;
    }

    static TUnit* GetBuffer(TUnit*& text, int capacity)
    {
        if (capacity < 0) {
            return nullptr;
        }
        if (text && Header(text)->referenceCount > 1) {
            return CopyShared(text, capacity);
        }
        if (text && Header(text)->capacity >= capacity) {
            SBlockHeader* header = Header(text);
            header->cachedLength = -1;
            text[header->capacity] = 0;
            return text;
        }
        return Resize(text, capacity);
    }

    static bool Assign(TUnit*& text, const TUnit* source, int count)
    {
        TUnit* keepAlive = KeepAliveIfInside(text, source);
        Release(text);
        const bool assigned = CopyInto(text, source, count);
        Release(keepAlive);
        return assigned;
    }

    /// count >= 0; a null source is only allowed with count 0.
    static bool Insert(TUnit*& text, int index, const TUnit* source, int count)
    {
        const int length = Length(text);
        if (index < 0 || index > length) {
            index = length;
        }
        if (static_cast<std::int64_t>(length) + count > INT_MAX) {
            return false;
        }
        const int total = length + count;
        // A source inside this block would move or vanish when the block grows;
        // the extra reference makes the block shared, so it is copied instead.
        TUnit* keepAlive = KeepAliveIfInside(text, source);
        const bool roomMade = MakeRoom(text, total);
        if (roomMade) {
            if (index < length && count > 0) {
                std::memmove(text + index + count, text + index, Bytes(length - index));
            }
            if (count > 0) {
                std::memcpy(text + index, source, Bytes(count));
            }
            text[total] = 0;
            Header(text)->cachedLength = total;
        }
        Release(keepAlive);
        return roomMade;
    }

    static bool Equal(const TUnit* a, const TUnit* b)
    {
        if (a == b) {
            return true;
        }
        if (!a || !b) {
            return false;
        }
        for (int i = 0;; ++i) {
            if (a[i] != b[i]) {
                return false;
            }
            if (a[i] == 0) {
                return true;
            }
        }
    }

    /// Units before the terminator, or -1 when that does not fit an int.
    static int CountUnits(const TUnit* source)
    {
        const std::size_t length = std::char_traits<TUnit>::length(source);
        return length > static_cast<std::size_t>(INT_MAX) ? -1 : static_cast<int>(length);
    }

    static int ReferenceCount(const TUnit* text) { return text ? Header(text)->referenceCount : 0; }
    static int Capacity(const TUnit* text) { return text ? Header(text)->capacity : 0; }
    static int CachedLength(const TUnit* text) { return text ? Header(text)->cachedLength : 0; }

private:
    static SBlockHeader* Header(const TUnit* text)
    {
        const char* start = reinterpret_cast<const char*>(text) - sizeof(SBlockHeader);
        return reinterpret_cast<SBlockHeader*>(const_cast<char*>(start));
    }

    static TUnit* TextOf(void* block)
    {
        return reinterpret_cast<TUnit*>(static_cast<char*>(block) + sizeof(SBlockHeader));
    }

    static std::size_t Bytes(int units) { return static_cast<std::size_t>(units) * sizeof(TUnit); }

    static std::size_t BlockSize(int capacity)
    {
        return sizeof(SBlockHeader) + Bytes(capacity) + Bytes(kTrailingUnits);
    }

    static TUnit* StartBlock(void* block, int capacity)
    {
        SBlockHeader* header = static_cast<SBlockHeader*>(block);
        header->referenceCount = 1;
        header->capacity = capacity;
        header->cachedLength = -1;
        TUnit* text = TextOf(block);
        text[capacity] = 0;
        return text;
    }

    /// A private copy of a shared block: the first min(old capacity, capacity)
    /// units and the slack after them, which brings the terminator along when
    /// the text fits. A text longer than the new capacity is cut at it.
    static TUnit* CopyShared(TUnit*& text, int capacity)
    {
        void* block = AllocateBlock(nullptr, BlockSize(capacity));
        if (!block) {
            return nullptr;
        }
        SBlockHeader* old = Header(text);
        const int kept = std::min(static_cast<int>(old->capacity), capacity);
        std::memcpy(TextOf(block), text, Bytes(kept + kTrailingUnits));
        --old->referenceCount;
        text = StartBlock(block, capacity);
        return text;
    }

    /// A fresh block (starting as the empty text) or a private one grown in place.
    static TUnit* Resize(TUnit*& text, int capacity)
    {
        const bool fresh = !text;
        void* block = AllocateBlock(fresh ? nullptr : Header(text), BlockSize(capacity));
        if (!block) {
            return nullptr;
        }
        text = StartBlock(block, capacity);
        if (fresh) {
            text[0] = 0;
        }
        return text;
    }

    static bool Inside(const TUnit* text, const TUnit* source)
    {
        if (!text || !source) {
            return false;
        }
        const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(Header(text));
        const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(source);
        return at >= start && at < start + BlockSize(Header(text)->capacity);
    }

    /// An extra reference to text's block when source lies inside it, else null.
    static TUnit* KeepAliveIfInside(TUnit* text, const TUnit* source)
    {
        if (!Inside(text, source)) {
            return nullptr;
        }
        AddReference(text);
        return text;
    }

    static bool CopyInto(TUnit*& text, const TUnit* source, int count)
    {
        if (!source) {
            return true;
        }
        if (count < 0) {
            count = CountUnits(source);
            if (count < 0) {
                return false;
            }
        }
        TUnit* buffer = GetBuffer(text, count);
        if (!buffer) {
            return false;
        }
        if (count > 0) {
            std::memcpy(buffer, source, Bytes(count));
        }
        buffer[count] = 0;
        Header(buffer)->cachedLength = count;
        return true;
    }

    /// Room for total units: exact for a null or shared block, at least
    /// doubling for a private one that is too small.
    static bool MakeRoom(TUnit*& text, int total)
    {
        if (!text || Header(text)->referenceCount > 1) {
            return GetBuffer(text, total) != nullptr;
        }
        const int capacity = Header(text)->capacity;
        if (total <= capacity) {
            return true;
        }
        const std::int64_t doubled = 2 * static_cast<std::int64_t>(capacity);
        const std::int64_t grown = std::min<std::int64_t>(INT_MAX, std::max<std::int64_t>(doubled, total));
        return GetBuffer(text, static_cast<int>(grown)) != nullptr;
    }
};

using CWideBlock = CTextBlock<char16_t>;
using CNarrowBlock = CTextBlock<char>;

} // namespace

void FailStringAllocationsAfter(int successes)
{
    g_allocationsBeforeFailure = successes < 0 ? -1 : successes;
}

// CString

CString::CString(const CString& other) : m_text(other.m_text)
{
    CWideBlock::AddReference(m_text);
}

CString::CString(CString&& other) noexcept : m_text(other.m_text)
{
    other.m_text = nullptr;
}

CString& CString::operator=(const CString& other)
{
    // Taken before the release, which nulls other.m_text when other is *this.
    char16_t* shared = other.m_text;
    CWideBlock::AddReference(shared);
    Release();
    m_text = shared;
    return *this;
}

CString& CString::operator=(CString&& other) noexcept
{
    if (this != &other) {
        Release();
        m_text = other.m_text;
        other.m_text = nullptr;
    }
    return *this;
}

CString::~CString()
{
    Release();
}

void CString::Release()
{
    CWideBlock::Release(m_text);
}

int CString::GetLength() const
{
    return CWideBlock::Length(m_text);
}

char16_t* CString::GetBuffer(int capacity)
{
    return CWideBlock::GetBuffer(m_text, capacity);
}

bool CString::Assign(const char16_t* text, int count)
{
    return CWideBlock::Assign(m_text, text, count);
}

bool CString::Insert(int index, const char16_t* text, int count)
{
    if (!text || count == 0) {
        return true;
    }
    if (count < 0) {
        count = CWideBlock::CountUnits(text);
        if (count < 0) {
            return false;
        }
    }
    return CWideBlock::Insert(m_text, index, text, count);
}

bool CString::operator==(const CString& other) const
{
    return CWideBlock::Equal(m_text, other.m_text);
}

int CString::GetReferenceCount() const
{
    return CWideBlock::ReferenceCount(m_text);
}

int CString::GetCapacity() const
{
    return CWideBlock::Capacity(m_text);
}

int CString::GetCachedLength() const
{
    return CWideBlock::CachedLength(m_text);
}

// CAnsiString

CAnsiString::CAnsiString(const CAnsiString& other) : m_text(other.m_text)
{
    CNarrowBlock::AddReference(m_text);
}

CAnsiString::CAnsiString(CAnsiString&& other) noexcept : m_text(other.m_text)
{
    other.m_text = nullptr;
}

CAnsiString& CAnsiString::operator=(const CAnsiString& other)
{
    // Taken before the release, which nulls other.m_text when other is *this.
    char* shared = other.m_text;
    CNarrowBlock::AddReference(shared);
    Release();
    m_text = shared;
    return *this;
}

CAnsiString& CAnsiString::operator=(CAnsiString&& other) noexcept
{
    if (this != &other) {
        Release();
        m_text = other.m_text;
        other.m_text = nullptr;
    }
    return *this;
}

CAnsiString::~CAnsiString()
{
    Release();
}

void CAnsiString::Release()
{
    CNarrowBlock::Release(m_text);
}

int CAnsiString::GetLength() const
{
    return CNarrowBlock::Length(m_text);
}

char* CAnsiString::GetBuffer(int capacity)
{
    return CNarrowBlock::GetBuffer(m_text, capacity);
}

bool CAnsiString::Assign(const char* text)
{
    return CNarrowBlock::Assign(m_text, text, -1);
}

bool CAnsiString::Insert(int index, const char* text)
{
    const int count = text ? CNarrowBlock::CountUnits(text) : 0;
    if (count < 0) {
        return false;
    }
    return CNarrowBlock::Insert(m_text, index, text, count);
}

bool CAnsiString::operator==(const CAnsiString& other) const
{
    return CNarrowBlock::Equal(m_text, other.m_text);
}

int CAnsiString::GetReferenceCount() const
{
    return CNarrowBlock::ReferenceCount(m_text);
}

int CAnsiString::GetCapacity() const
{
    return CNarrowBlock::Capacity(m_text);
}

int CAnsiString::GetCachedLength() const
{
    return CNarrowBlock::CachedLength(m_text);
}
