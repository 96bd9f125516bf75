#pragma once
/// The heap of the in-house containers (CMap's node blocks, CVector's item arrays).
///
/// Memory comes from malloc, realloc and free unless an IContainerHeap is installed;
/// tests install one to see exactly what is allocated and freed, or to make an
/// allocation fail.
///
/// Running out of memory is not survivable for a container that has no way to
/// report it, so a failed allocation ends the process at once through std::abort
/// after writing "out of memory: <what>" to stderr; the host then sees the server's
/// pipe close, as after any other crash, instead of a null dereference later on.
/// Callers that can report the failure use the Try forms, which return null.

#include <cstddef>
#include <cstdio>
#include <cstdlib>

/// A replacement heap for the containers. Allocate and Reallocate return null on failure.
class IContainerHeap {
public:
    virtual ~IContainerHeap() = default;
    virtual void* Allocate(std::size_t bytes) = 0;
    virtual void* Reallocate(void* block, std::size_t bytes) = 0;
    virtual void Free(void* block) = 0;
};

namespace container_heap_detail {
inline IContainerHeap* g_containerHeap = nullptr;
}

/// Routes every later container allocation to heap (null: back to malloc/realloc/free). Not owned.
inline void SetContainerHeap(IContainerHeap* heap) { container_heap_detail::g_containerHeap = heap; }
inline IContainerHeap* GetContainerHeap() { return container_heap_detail::g_containerHeap; }

/// Writes "out of memory: <what>" to stderr and aborts.
[[noreturn]] inline void ContainerOutOfMemory(const char* what)
{
    std::fputs("out of memory: ", stderr);
    std::fputs(what, stderr);
    std::fputs("\n", stderr);
    std::fflush(stderr);
    std::abort();
}

/// bytes of fresh memory, or null when memory runs out.
inline void* ContainerTryAllocate(std::size_t bytes)
{
    IContainerHeap* heap = GetContainerHeap();
    return heap != nullptr ? heap->Allocate(bytes) : std::malloc(bytes);
}

/// block resized to bytes (contents kept), or null when memory runs out (block stays).
inline void* ContainerTryReallocate(void* block, std::size_t bytes)
{
    IContainerHeap* heap = GetContainerHeap();
    return heap != nullptr ? heap->Reallocate(block, bytes) : std::realloc(block, bytes);
}

/// bytes of fresh memory, never null: a failure aborts naming what.
inline void* ContainerAllocate(std::size_t bytes, const char* what)
{
    void* block = ContainerTryAllocate(bytes);
    if (block == nullptr) {
        ContainerOutOfMemory(what);
    }
    return block;
}

/// block resized to bytes (contents kept), never null: a failure aborts naming what.
inline void* ContainerReallocate(void* block, std::size_t bytes, const char* what)
{
    void* resized = ContainerTryReallocate(block, bytes);
    if (resized == nullptr) {
        ContainerOutOfMemory(what);
    }
    return resized;
}

/// Gives block back; null is ignored.
inline void ContainerFree(void* block)
{
    if (block == nullptr) {
        return;
    }
    IContainerHeap* heap = GetContainerHeap();
    if (heap != nullptr) {
        heap->Free(block);
    } else {
        std::free(block);
    }
}
