#include "server/RequestReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>

namespace {

/// Hands out scripted host writes: each entry is what one read returns (cut to
/// the reader's capacity, the rest staying for the next read, as a pipe does).
/// Only the rest of the entry being read is waiting; the next entry is written
/// when the reader asks for it, as a host writes its next request after "ready:".
class CScriptedSource : public IRequestSource {
public:
    explicit CScriptedSource(std::deque<std::string> reads) : m_reads(std::move(reads)) {}

    int Read(char* buffer, int capacity) override
    {
        ++readCount;
        if (m_reads.empty())
            return 0;
        std::string& next = m_reads.front();
        const std::size_t count = std::min(next.size(), static_cast<std::size_t>(capacity));
        std::memcpy(buffer, next.data(), count);
        next.erase(0, count);
        m_partlyRead = !next.empty();
        if (!m_partlyRead)
            m_reads.pop_front();
        return static_cast<int>(count);
    }

    bool HasWaitingBytes() override { return m_partlyRead; }

    int readCount = 0;

private:
    std::deque<std::string> m_reads;
    bool m_partlyRead = false;
};

struct SResult {
    ERequestStatus status;
    std::string text;
};

SResult ReadOne(CScriptedSource& source)
{
    CAnsiString text;
    const ERequestStatus status = ReadRequest(source, text);
    return {status, text.GetText() != nullptr ? text.GetText() : "<null>"};
}

TEST(RequestReader, OneReadOneRequest)
{
    struct SCase {
        const char* name;
        std::string read;
        std::string expected;
    };
    const SCase cases[] = {
        {"cut at the newline", "C:\\a.dll\n", "C:\\a.dll"},
        {"bare request taken whole", "C:\\a.dll", "C:\\a.dll"},
        {"carriage return kept", "C:\\a.dll\r\n", "C:\\a.dll\r"},
        {"bytes after the first newline dropped", "first\nsecond\n", "first"},
        {"empty request", "\n", ""},
        {"zero byte ends the text", std::string("ab\0cd\n", 6), "ab"},
        {"1023 bytes and a newline fill the buffer", std::string(1023, 'a') + "\n", std::string(1023, 'a')},
        {"a full read with nothing waiting taken whole", std::string(kRequestReadSize, 'a'), std::string(kRequestReadSize, 'a')},
        {"id suffix kept", "C:\\shell.dll>0000ABCD\n", "C:\\shell.dll>0000ABCD"},
    };
    for (const SCase& c : cases) {
        CScriptedSource source({c.read, "next\n"});
        const SResult result = ReadOne(source);
        EXPECT_EQ(ERequestStatus::Request, result.status) << c.name;
        EXPECT_EQ(c.expected, result.text) << c.name;
        EXPECT_EQ(1, source.readCount) << c.name;
        EXPECT_EQ("next", ReadOne(source).text) << c.name << ": the next request stays in step";
    }
}

TEST(RequestReader, FullReadWithoutNewlineIsContinuedWhileBytesWait)
{
    struct SCase {
        std::size_t length;
        const char* end;
    };
    // Without a newline the request ends where nothing more is waiting, also after
    // a run of full reads.
    const SCase cases[] = {{1024, "\n"}, {1025, "\n"}, {2048, "\n"}, {5000, "\n"}, {kMaxRequestBytes, "\n"},
                           {1025, ""},   {2048, ""},   {kMaxRequestBytes, ""}};
    for (const auto& [length, end] : cases) {
        const std::string path(length, 'p');
        const std::string name = std::to_string(length) + (*end != 0 ? " and a newline" : " bare");
        CScriptedSource source({path + end, "next\n"});
        const SResult result = ReadOne(source);
        EXPECT_EQ(ERequestStatus::Request, result.status) << name;
        EXPECT_EQ(path, result.text) << name;
        EXPECT_EQ("next", ReadOne(source).text) << name;
    }
}

TEST(RequestReader, RequestSplitAcrossShortReadsEndsAtTheShortRead)
{
    // A read shorter than the buffer without a newline is a whole (bare) request.
    CScriptedSource source({"C:\\par", "t.dll\n"});
    EXPECT_EQ("C:\\par", ReadOne(source).text);
    EXPECT_EQ("t.dll", ReadOne(source).text);
}

TEST(RequestReader, ZeroByteInAContinuedRequestEndsTheText)
{
    std::string bytes = std::string(1500, 'a') + '\0' + std::string(1000, 'b') + "\n";
    CScriptedSource source({bytes, "next\n"});
    EXPECT_EQ(std::string(1500, 'a'), ReadOne(source).text);
    EXPECT_EQ("next", ReadOne(source).text);
}

TEST(RequestReader, OversizedRequestIsConsumedAndReported)
{
    for (std::size_t length : {std::size_t{kMaxRequestBytes} + 1, std::size_t{300000}}) {
        CScriptedSource source({std::string(length, 'x') + "\n", "next\n"});
        const SResult result = ReadOne(source);
        EXPECT_EQ(ERequestStatus::Oversized, result.status) << length;
        EXPECT_EQ("<null>", result.text) << length;
        EXPECT_EQ("next", ReadOne(source).text) << length;
    }
}

TEST(RequestReader, ClosedInput)
{
    CScriptedSource empty({});
    EXPECT_EQ(ERequestStatus::Closed, ReadOne(empty).status);

    // A host that closes after a full read without newline is served first.
    CScriptedSource cut({std::string(kRequestReadSize, 'a')});
    EXPECT_EQ(ERequestStatus::Request, ReadOne(cut).status);
    EXPECT_EQ(ERequestStatus::Closed, ReadOne(cut).status);
}

} // namespace
