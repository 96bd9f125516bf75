#pragma once
/// CVector<T, P, A>: a growable array of element pointers.
///
/// T is the element (pointer) type, P the ownership policy (SValue: the elements
/// are only referenced; SOwnedPtr: the vector deletes what they point to), A the
/// argument type, always T and otherwise unused.
///
/// Invariants: 0 <= count <= capacity; items is null exactly while capacity is 0;
/// items[0..count) are the elements in the order they were added. The item array
/// grows to 2 * (count + 1) slots, at least 16: 16, 34, 70, 142, ...
/// Destruction releases the elements under P in index order, skipping nulls, and
/// then frees the item array.

#include "foundation/ContainerHeap.h"
#include "foundation/Policies.h"

#include <cstdint>
#include <type_traits>

template <class T, class P, class A>
class CVector {
    static_assert(std::is_pointer<T>::value, "CVector holds element pointers");
    static_assert(std::is_same<T, A>::value, "the argument type is the element type");

public:
    /// Smallest item array: the first Add allocates this many slots.
    static constexpr std::int32_t kMinimumCapacity = 16;

    /// An empty vector: count 0, capacity 0, no item array.
    CVector() = default;
    CVector(const CVector&) = delete;
    CVector& operator=(const CVector&) = delete;

    /// Releases every non-null element under P in index order, then frees the item array.
    virtual ~CVector()
    {
        for (std::int32_t i = 0; i < m_count; ++i) {
            if (m_items[i] != nullptr) {
                P::Release(m_items[i]);
            }
        }
        m_count = 0;
        ContainerFree(m_items);
    }

    /// Appends element, growing the item array when it is full. Aborts when memory runs out.
    void Add(const T& element)
    {
        if (!TryAdd(element)) {
            ContainerOutOfMemory("CVector item array");
        }
    }

    /// Appends element as Add does; false, with the vector unchanged, when the item
    /// array cannot grow, for callers that can report running out of memory.
    bool TryAdd(const T& element)
    {
        if (m_count + 1 > m_capacity && !Grow()) {
            return false;
        }
        m_items[m_count] = element;
        m_count += 1;
        return true;
    }

    /// Number of elements.
    std::int32_t GetCount() const { return m_count; }
    /// The element at index (0 <= index < GetCount()).
    const T& GetAt(std::int32_t index) const { return m_items[index]; }

    /// Number of slots in the item array.
    std::int32_t GetCapacity() const { return m_capacity; }
    /// The item array, null before the first Add.
    const T* GetItems() const { return m_items; }

private:
    /// False when the item array cannot grow: beyond 2^31 slots, or out of memory.
    bool Grow()
    {
        const std::int64_t wanted = 2 * (static_cast<std::int64_t>(m_count) + 1);
        if (wanted > INT32_MAX) {
            return false;
        }
        const std::int32_t capacity =
            wanted < kMinimumCapacity ? kMinimumCapacity : static_cast<std::int32_t>(wanted);
        const std::size_t bytes = static_cast<std::size_t>(capacity) * sizeof(T);
        void* items = m_items == nullptr ? ContainerTryAllocate(bytes) : ContainerTryReallocate(m_items, bytes);
        if (items == nullptr) {
            return false;
        }
        m_items = static_cast<T*>(items);
        m_capacity = capacity;
        return true;
    }

    std::int32_t m_count = 0;
    std::int32_t m_capacity = 0;
    T* m_items = nullptr;
};
