#include "server/RequestLoop.h"

#include "support/RecordingSink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>

namespace {

class CQueueSource : public IRequestSource {
public:
    explicit CQueueSource(std::deque<std::string> reads) : m_reads(std::move(reads)) {}
    int Read(char* buffer, int capacity) override
    {
        if (m_reads.empty())
            return 0;
        const std::string next = m_reads.front();
        m_reads.pop_front();
        const int count = static_cast<int>(std::min<std::size_t>(next.size(), static_cast<std::size_t>(capacity)));
        std::memcpy(buffer, next.data(), static_cast<std::size_t>(count));
        return count;
    }
    bool HasWaitingBytes() override { return !m_reads.empty(); }

private:
    std::deque<std::string> m_reads;
};

/// Records the loop's calls into the output, so their order against "ready:" shows.
class CRecordingHandler : public IRequestHandler {
public:
    void PumpMessages() override { LogInfo(u"<pump>\n"); }
    void ScanRequest(const CString& text) override { LogInfo(u"<scan %s>\n", text.GetText()); }
    void RejectOversizedRequest() override { LogInfo(u"<oversized>\n"); }
};

TEST(RequestLoop, ReadyBeforeEveryRequestThenPumpThenScan)
{
    CRecordingSink sink;
    CQueueSource source({"C:\\a.dll\n", "C:\\Caf\xC3\xA9.dll\n"});
    CRecordingHandler handler;
    RunRequestLoop(source, handler);
    const std::vector<std::string> expected = {
        "ready:\n",
        "info:<pump>\n", "info:<scan C:\\a.dll>\n",
        "ready:\n",
        "info:<pump>\n", "info:<scan C:\\Caf\xC3\xA9.dll>\n",
        "ready:\n",
    };
    EXPECT_EQ(expected, sink.writes);
}

TEST(RequestLoop, ClosedInputEndsTheLoopAfterOneReady)
{
    CRecordingSink sink;
    CQueueSource source({});
    CRecordingHandler handler;
    RunRequestLoop(source, handler);
    EXPECT_EQ(std::vector<std::string>{"ready:\n"}, sink.writes);
}

TEST(RequestLoop, OversizedRequestIsRejectedAndTheLoopGoesOn)
{
    CRecordingSink sink;
    std::deque<std::string> reads;
    std::string big(kMaxRequestBytes + 2048, 'x');
    big += "\n";
    for (std::size_t at = 0; at < big.size(); at += kRequestReadSize)
        reads.push_back(big.substr(at, kRequestReadSize));
    reads.push_back("next\n");
    CQueueSource source(reads);
    CRecordingHandler handler;
    RunRequestLoop(source, handler);
    const std::vector<std::string> expected = {
        "ready:\n", "info:<pump>\n", "info:<oversized>\n",
        "ready:\n", "info:<pump>\n", "info:<scan next>\n",
        "ready:\n",
    };
    EXPECT_EQ(expected, sink.writes);
}

} // namespace
