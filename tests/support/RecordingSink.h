#pragma once
// An output sink that keeps every line, installed for the lifetime of the object.

#include "process/OutputChannel.h"

#include <string>
#include <vector>

class CRecordingSink : public IOutputSink {
public:
    CRecordingSink() : m_previous(GetOutputSink()) { SetOutputSink(this); }
    ~CRecordingSink() override { SetOutputSink(m_previous); }
    CRecordingSink(const CRecordingSink&) = delete;
    CRecordingSink& operator=(const CRecordingSink&) = delete;

    void WriteAndFlush(const char* bytes, std::size_t count) override { writes.emplace_back(bytes, count); }

    /// Everything written, in order, as one text.
    std::string Text() const
    {
        std::string text;
        for (const std::string& write : writes)
            text += write;
        return text;
    }

    std::vector<std::string> writes; ///< one entry per write (each write is one line)

private:
    IOutputSink* m_previous;
};
