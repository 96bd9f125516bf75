#pragma once
/// CNodePool<TNode>: node storage for CMap, handed out from heap blocks of four.
///
/// A block is a link to the previously allocated block followed by room for four
/// nodes. A node slot on the free list holds the link to the next free slot in its
/// own first bytes. Blocks go back to the heap only all together: when the last node
/// in use is returned, or through FreeAll.
///
/// Invariants: nodesInUse = slots handed out and not yet returned; every free slot
/// lies in a block of the block list; nodesPerBlock is always 4.

#include "foundation/ContainerHeap.h"

#include <cstdint>
#include <cstring>
#include <new>

template <class TNode>
class CNodePool {
    static_assert(sizeof(TNode) >= sizeof(void*), "a free slot holds the link to the next one");

public:
    static constexpr std::int32_t kNodesPerBlock = 4;

    /// One heap allocation: the link to the previously allocated block, then four node slots.
    struct CBlock {
        CBlock* previous;
        alignas(TNode) unsigned char slots[kNodesPerBlock][sizeof(TNode)];
    };

    /// An empty pool: no block, no free slot, nothing in use.
    CNodePool() = default;
    CNodePool(const CNodePool&) = delete;
    CNodePool& operator=(const CNodePool&) = delete;
    ~CNodePool() { FreeAll(); }

    /// Uninitialised storage for one TNode: the most recently returned slot, else a
    /// slot of a new block (whose slots are handed out in address order). Aborts
    /// when memory runs out.
    void* Take()
    {
        if (m_freeList == nullptr) {
            AddBlock();
        }
        void* slot = m_freeList;
        m_freeList = NextFree(slot);
        m_nodesInUse += 1;
        return slot;
    }

    /// Gives back the storage of a node that is already destroyed. Returning the last
    /// node in use frees every block and leaves the pool empty.
    void Return(void* slot)
    {
        if (m_nodesInUse == 1) {
            FreeAll();
            return;
        }
        SetNextFree(slot, m_freeList);
        m_freeList = slot;
        m_nodesInUse -= 1;
    }

    /// Frees every block, whatever is still in use, and leaves the pool empty.
    void FreeAll()
    {
        while (m_blocks != nullptr) {
            CBlock* previous = m_blocks->previous;
            ContainerFree(m_blocks);
            m_blocks = previous;
        }
        m_freeList = nullptr;
        m_nodesInUse = 0;
    }

    /// The most recently allocated block, or null.
    const CBlock* GetBlockList() const { return m_blocks; }
    /// The next slot Take hands out without allocating, or null.
    const void* GetFreeList() const { return m_freeList; }
    /// The free slot after slot on the free list, or null.
    static const void* GetNextFree(const void* slot) { return NextFree(slot); }
    std::int32_t GetNodesInUse() const { return m_nodesInUse; }
    std::int32_t GetNodesPerBlock() const { return m_nodesPerBlock; }
    /// Length of the block list.
    std::int32_t GetBlockCount() const
    {
        std::int32_t count = 0;
        for (const CBlock* block = m_blocks; block != nullptr; block = block->previous) {
            ++count;
        }
        return count;
    }

private:
    void AddBlock()
    {
        CBlock* block = new (ContainerAllocate(sizeof(CBlock), "CMap node block")) CBlock;
        block->previous = m_blocks;
        m_blocks = block;
        for (std::int32_t i = 0; i + 1 < kNodesPerBlock; ++i) {
            SetNextFree(block->slots[i], block->slots[i + 1]);
        }
        SetNextFree(block->slots[kNodesPerBlock - 1], m_freeList);
        m_freeList = block->slots[0];
    }

    static void* NextFree(const void* slot)
    {
        void* next = nullptr;
        std::memcpy(&next, slot, sizeof next);
        return next;
    }

    static void SetNextFree(void* slot, void* next) { std::memcpy(slot, &next, sizeof next); }

    CBlock* m_blocks = nullptr;
    void* m_freeList = nullptr;
    std::int32_t m_nodesInUse = 0;
    std::int32_t m_nodesPerBlock = kNodesPerBlock;
};
