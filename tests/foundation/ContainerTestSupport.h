#pragma once
// A container heap that logs what the containers allocate and free, and can fail allocations.

#include "foundation/ContainerHeap.h"

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

using CEventLog = std::vector<std::string>;

/// Installs itself as the container heap while it lives; names blocks #1, #2, ... in
/// allocation order and logs "allocate #n <bytes>", "reallocate #n <bytes>", "free #n".
class CRecordingHeap : public IContainerHeap {
public:
    explicit CRecordingHeap(CEventLog& events) : m_events(events) { SetContainerHeap(this); }
    ~CRecordingHeap() override { SetContainerHeap(nullptr); }

    bool failing = false;         ///< every allocation fails
    std::size_t failingBytes = 0; ///< allocations of exactly this many bytes fail

    void* Allocate(std::size_t bytes) override { return Record(nullptr, bytes, "allocate #"); }
    void* Reallocate(void* block, std::size_t bytes) override { return Record(block, bytes, "reallocate #"); }
    void Free(void* block) override
    {
        m_events.push_back("free #" + std::to_string(m_names.at(block)));
        m_names.erase(block);
        std::free(block);
    }

private:
    void* Record(void* old, std::size_t bytes, const char* what)
    {
        if (failing || bytes == failingBytes)
            return nullptr;
        const int name = old ? m_names.at(old) : static_cast<int>(++m_allocations);
        m_names.erase(old);
        void* block = std::realloc(old, bytes);
        m_names[block] = name;
        m_events.push_back(what + std::to_string(name) + " " + std::to_string(bytes));
        return block;
    }

    CEventLog& m_events;
    std::map<void*, int> m_names;
    int m_allocations = 0;
};
