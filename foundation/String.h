#pragma once
/// Reference-counted, copy-on-write strings.
///
/// CString holds UTF-16 code units (char16_t); CAnsiString holds bytes (UTF-8 on
/// the wire, or a plug-in's own 8-bit text). Each object is one pointer: null for
/// the empty string, otherwise the first unit of a text that lives in a heap block
/// laid out as
///
///     int32 referenceCount | int32 capacity | int32 cachedLength | text... | 0 | slack
///
/// Invariants (outside a GetBuffer/write window):
///   - the text is terminated at or before index capacity;
///   - cachedLength is -1 or the exact number of units before the first 0;
///   - a live block's referenceCount is at least 1; capacity never shrinks.
/// A block holds capacity * 2 + 16 bytes (CString) or capacity + 16 bytes
/// (CAnsiString): header, text, terminator slot and slack.
///
/// Copying shares the block; a shared block is copied before it is changed.
/// Counts are plain integers: a block belongs to one thread.

#include <cstdarg>
#include <cstdint>

class CAnsiString;

class CString {
public:
    /// The empty (null) string; owns no block.
    CString() = default;
    /// Shares other's block.
    CString(const CString& other);
    /// Takes other's block; other becomes null.
    CString(CString&& other) noexcept;
    /// Shares other's block; self-assignment leaves the string unchanged.
    CString& operator=(const CString& other);
    CString& operator=(CString&& other) noexcept;
    ~CString();

    /// Units before the terminator: 0 for null; counts and caches when the cached length is -1.
    int GetLength() const;
    /// GetLength() is 0.
    bool IsEmpty() const { return GetLength() == 0; }
    /// A writable text of room for capacity units plus the terminator, private to
    /// this string; the cached length becomes -1. A shared block is copied (a text
    /// longer than capacity is cut there). Null when memory runs out or capacity
    /// is negative, and then the string is unchanged.
    char16_t* GetBuffer(int capacity);

    /// Replaces the text with count units of text (count < 0: up to its
    /// terminator). A null text leaves the string null. text may lie in this
    /// string's own block. False when memory runs out (the string is then null).
    bool Assign(const char16_t* text, int count = -1);
    /// Inserts count units of text (count < 0: up to its terminator; 0 or a null
    /// text: nothing) before index (0..GetLength(); < 0 or beyond: the end); text
    /// may lie in this string's own block. A private block grows at least
    /// twofold; a null or shared one gets exactly the room needed. False when
    /// memory runs out (the old text stays).
    bool Insert(int index, const char16_t* text, int count = -1);
    /// Insert at the end.
    bool Append(const char16_t* text, int count = -1) { return Insert(-1, text, count); }

    /// The text, or null for the empty string.
    const char16_t* GetText() const { return m_text; }

    /// Formats with the conventions of the platform's wide printf, the same in
    /// every build: %s wide text, %S narrow text (each byte one unit), %c, %i/%d,
    /// %u, %x/%X, %p (two upper-case hex digits per pointer byte), flags '-' '0', width and
    /// precision (%.8X, %.4x, %.2i), %%. The result's cached length stays -1.
    static CString Format(const char16_t* format, ...);
    /// Format with an already started argument list.
    static CString FormatV(const char16_t* format, va_list arguments);
    /// Decodes zero-terminated UTF-8; ill-formed sequences become U+FFFD. Null gives null.
    static CString FromUtf8(const char* bytes);
    /// Each byte of the zero-terminated text becomes the unit of the same value (no
    /// decoding). Null gives null.
    static CString Widen(const char* bytes);

    /// Same block, or both null, or the same units up to the terminator (case matters).
    bool operator==(const CString& other) const;
    bool operator!=(const CString& other) const { return !(*this == other); }

    /// Block header, for tests and diagnostics: 0 / 0 / 0 for a null string.
    int GetReferenceCount() const;
    int GetCapacity() const;
    int GetCachedLength() const;

private:
    void Release();
    char16_t* m_text = nullptr;
};

class CAnsiString {
public:
    CAnsiString() = default;
    CAnsiString(const CAnsiString& other);
    CAnsiString(CAnsiString&& other) noexcept;
    CAnsiString& operator=(const CAnsiString& other);
    CAnsiString& operator=(CAnsiString&& other) noexcept;
    ~CAnsiString();

    int GetLength() const;
    bool IsEmpty() const { return GetLength() == 0; }
    /// As CString::GetBuffer; room for capacity bytes plus the terminator.
    char* GetBuffer(int capacity);

    /// Replaces the text with the zero-terminated bytes; null leaves the string null.
    bool Assign(const char* text);
    /// Inserts the zero-terminated bytes (null counts as empty) before index
    /// (< 0: the end). Runs even for an empty text, so a null string becomes an
    /// empty, non-null one.
    bool Insert(int index, const char* text);
    bool Append(const char* text) { return Insert(-1, text); }

    const char* GetText() const { return m_text; }

    /// UTF-8 of the text; an unpaired surrogate becomes U+FFFD. Null gives null.
    static CAnsiString ToUtf8(const CString& text);

    bool operator==(const CAnsiString& other) const;
    bool operator!=(const CAnsiString& other) const { return !(*this == other); }

    int GetReferenceCount() const;
    int GetCapacity() const;
    int GetCachedLength() const;

private:
    void Release();
    char* m_text = nullptr;
};
