#pragma once
// Instruments for the container tests: a heap that records what the containers
// allocate and free, and an element that records its own deletion, both writing
// into one shared event list so that their relative order can be checked.

#include "foundation/ContainerHeap.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

using CEventLog = std::vector<std::string>;

/// Installs itself as the container heap while it lives. Blocks are named by the
/// order of their allocation (#1, #2, ...); a reallocated block keeps its name.
/// Events: "allocate #n <bytes>", "reallocate #n <bytes>", "free #n".
class CRecordingHeap : public IContainerHeap {
public:
    explicit CRecordingHeap(CEventLog& events) : m_events(events) { SetContainerHeap(this); }
    ~CRecordingHeap() override { SetContainerHeap(nullptr); }
    CRecordingHeap(const CRecordingHeap&) = delete;
    CRecordingHeap& operator=(const CRecordingHeap&) = delete;

    /// From now on every allocation fails (returns null).
    void FailAllocations() { m_failing = true; }
    /// From now on every allocation or reallocation of exactly bytes fails.
    void FailAllocationsOf(std::size_t bytes) { m_failingBytes = bytes; }

    void* Allocate(std::size_t bytes) override
    {
        if (m_failing || bytes == m_failingBytes) {
            return nullptr;
        }
        void* block = std::malloc(bytes);
        const int name = ++m_allocations;
        m_live[block] = {name, bytes};
        m_events.push_back("allocate #" + std::to_string(name) + " " + std::to_string(bytes));
        return block;
    }

    void* Reallocate(void* block, std::size_t bytes) override
    {
        if (m_failing || bytes == m_failingBytes) {
            return nullptr;
        }
        const CLiveBlock old = Forget(block);
        void* resized = std::realloc(block, bytes);
        m_live[resized] = {old.name, bytes};
        m_events.push_back("reallocate #" + std::to_string(old.name) + " " + std::to_string(bytes));
        return resized;
    }

    void Free(void* block) override
    {
        const CLiveBlock old = Forget(block);
        std::free(block);
        m_events.push_back("free #" + std::to_string(old.name));
    }

    /// Number of blocks allocated and not yet freed.
    std::size_t LiveBlocks() const { return m_live.size(); }

    /// Name of the live block whose bytes contain address, or 0.
    int BlockContaining(const void* address) const
    {
        const auto at = reinterpret_cast<std::uintptr_t>(address);
        for (const auto& [start, live] : m_live) {
            const auto begin = reinterpret_cast<std::uintptr_t>(start);
            if (at >= begin && at < begin + live.bytes) {
                return live.name;
            }
        }
        return 0;
    }

private:
    struct CLiveBlock {
        int name;
        std::size_t bytes;
    };

    // A block the containers did not get from this heap is a failure of the test subject.
    CLiveBlock Forget(void* block)
    {
        const auto found = m_live.find(block);
        if (found == m_live.end()) {
            m_events.push_back("UNKNOWN BLOCK");
            return {0, 0};
        }
        const CLiveBlock live = found->second;
        m_live.erase(found);
        return live;
    }

    CEventLog& m_events;
    std::map<void*, CLiveBlock> m_live;
    int m_allocations = 0;
    bool m_failing = false;
    std::size_t m_failingBytes = 0;
};

/// An owned element that logs "delete <id>" when it is deleted.
class CTracked {
public:
    CTracked(int id, CEventLog& events) : m_id(id), m_events(events) {}
    ~CTracked() { m_events.push_back("delete " + std::to_string(m_id)); }
    CTracked(const CTracked&) = delete;
    CTracked& operator=(const CTracked&) = delete;

    int GetId() const { return m_id; }

private:
    int m_id;
    CEventLog& m_events;
};
