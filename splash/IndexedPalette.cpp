#include "splash/IndexedPalette.h"

void CIndexedPalette::Assign(const std::uint32_t* entries, std::size_t count)
{
    m_count = count < kMaxEntries ? count : kMaxEntries;
    for (std::size_t index = 0; index < kMaxEntries; ++index)
        m_entries[index] = index < m_count ? entries[index] : 0;
}

std::uint32_t CIndexedPalette::Lookup(std::uint32_t index) const
{
    return index < m_count ? m_entries[index] : 0;
}
