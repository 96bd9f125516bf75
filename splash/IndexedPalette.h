#pragma once
/// The colours of an indexed picture: up to 256 0xAARRGGBB entries, alpha kept
/// (a PNG with a transparency chunk gives its palette real alpha). An index
/// beyond the entries given reads as transparent black.

#include <cstddef>
#include <cstdint>

class CIndexedPalette {
public:
    static constexpr std::size_t kMaxEntries = 256;

    /// Copies the first min(count, 256) entries; the rest read as 0.
    void Assign(const std::uint32_t* entries, std::size_t count);

    /// The colour of index, or 0 when the palette has no such entry.
    std::uint32_t Lookup(std::uint32_t index) const;

private:
    std::uint32_t m_entries[kMaxEntries] = {};
    std::size_t m_count = 0;
};
