#include "server/RequestLoop.h"
#include "server/RequestReader.h"

#include "support/RecordingSink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>

namespace {

/// Hands out scripted host writes: each entry is what one read returns (cut to the
/// reader's capacity, the rest staying for the next read, as a pipe does). Only the
/// rest of the entry being read is waiting: a host writes its next request after "ready:".
class CScriptedSource : public IRequestSource {
public:
    explicit CScriptedSource(std::deque<std::string> reads) : m_reads(std::move(reads)) {}

    int Read(char* buffer, int capacity) override
    {
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

private:
    std::deque<std::string> m_reads;
    bool m_partlyRead = false;
};

/// Records the loop's calls into the output, so their order against "ready:" shows.
class CRecordingHandler : public IRequestHandler {
public:
    void PumpMessages() override { LogInfo(u"pump\n"); }
    void ScanRequest(const CString& text) override { LogInfo(u"scan %s\n", text.GetText()); }
    void RejectOversizedRequest() override { LogInfo(u"oversized\n"); }
};

// The reading rules that the end-to-end server table (read sizes, CRLF, a zero byte,
// two requests in one write) cannot reach: a zero byte after the first read, the
// size limit to the byte and what follows it.
TEST(RequestLoop, ReadyBeforeEveryRequestThenPumpThenScan)
{
    const std::string longest(128 * 1024, 'p'); // the longest request taken, spelt out so the limit cannot drift
    struct SCase {
        std::deque<std::string> reads;
        std::string requests;  ///< what the handler was asked, one "scan" or "oversized" a line
    };
    const SCase cases[] = {
        {{}, ""},
        {{std::string(1500, 'a') + '\0' + std::string(1000, 'b') + "\n"}, "scan " + std::string(1500, 'a') + "\n"},
        {{longest + "\n", longest}, "scan " + longest + "\nscan " + longest + "\n"},
        {{longest + "x\n", std::string(300000, 'x'), "next\n"}, "oversized\noversized\nscan next\n"},
    };
    for (const SCase& c : cases) {
        CRecordingSink sink;
        CScriptedSource source(c.reads);
        CRecordingHandler handler;
        RunRequestLoop(source, handler);
        std::string expected = "ready:\n";
        for (std::size_t at = 0; at < c.requests.size(); at = c.requests.find('\n', at) + 1)
            expected += "info:pump\ninfo:" + c.requests.substr(at, c.requests.find('\n', at) + 1 - at) + "ready:\n";
        EXPECT_EQ(expected, sink.Text()) << c.requests.substr(0, 40);
    }
}

} // namespace
