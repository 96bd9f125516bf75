// Request cutting: ReadRequest over a host that writes arbitrary bytes in arbitrary
// pieces (short reads, full reads, runs of full reads past the size limit, a closed
// pipe), with or without more bytes waiting after each, each result checked against
// a plain model of the rules in RequestReader.h.
//
// Input: a script of reads. Each step is a kind byte, then:
//   0: a piece of up to kRequestReadSize bytes (an empty one closes the input);
//   1: a full read of kRequestReadSize bytes from the input, padded with 'a';
//   2: a run of 1 to 140 full reads of one byte other than "\n" (reaches the size limit),
//      with bytes waiting after each read of the run but the last;
// and a flag: whether bytes are waiting after the step's last read.
// When the script ends (or holds kMaxReads reads), the input is closed.

#include "common/FuzzCheck.h"
#include "common/StringChecks.h"
#include "server/RequestReader.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

/// Room for two requests beyond the size limit; more only slows the fuzzer down.
constexpr std::size_t kMaxReads = 2 * (kMaxRequestBytes / kRequestReadSize) + 64;

struct SRead {
    std::string bytes;
    bool moreWaiting; ///< what the source answers after this read
};

std::vector<SRead> ReadScript(FuzzedDataProvider& data)
{
    std::vector<SRead> reads;
    while (data.remaining_bytes() > 0 && reads.size() < kMaxReads) {
        switch (data.ConsumeIntegralInRange<int>(0, 2)) {
        case 0:
            reads.push_back({data.ConsumeRandomLengthString(kRequestReadSize), true});
            break;
        case 1: {
            std::string read = data.ConsumeBytesAsString(kRequestReadSize);
            read.resize(kRequestReadSize, 'a');
            reads.push_back({read, true});
            break;
        }
        default: {
            const int count = data.ConsumeIntegralInRange<int>(1, 140);
            char filler = data.ConsumeIntegral<char>();
            if (filler == '\n') {
                filler = ' ';
            }
            reads.insert(reads.end(), static_cast<std::size_t>(count), {std::string(kRequestReadSize, filler), true});
            break;
        }
        }
        reads.back().moreWaiting = data.ConsumeBool();
    }
    return reads;
}

/// Hands out the scripted reads in order, then 0 forever, and says after each read
/// whether more bytes are waiting as the script says. Every call first fills
/// the caller's whole buffer, so that a buffer smaller than the capacity it claims
/// shows up under AddressSanitizer.
class CScriptedSource : public IRequestSource {
public:
    explicit CScriptedSource(const std::vector<SRead>& reads) : m_reads(reads) {}

    int Read(char* buffer, int capacity) override
    {
        FUZZ_CHECK(capacity == kRequestReadSize);
        std::memset(buffer, 0x5A, static_cast<std::size_t>(capacity));
        ++m_calls;
        if (m_next == m_reads.size()) {
            return 0;
        }
        const std::string& read = m_reads[m_next++].bytes;
        std::memcpy(buffer, read.data(), read.size());
        return static_cast<int>(read.size());
    }

    bool HasWaitingBytes() override
    {
        FUZZ_CHECK_MSG(m_next > 0 && m_next <= m_reads.size(), "asked for waiting bytes before or after the reads");
        return m_reads[m_next - 1].moreWaiting;
    }

    std::size_t GetCalls() const { return m_calls; }

private:
    const std::vector<SRead>& m_reads;
    std::size_t m_next = 0;
    std::size_t m_calls = 0;
};

struct SExpected {
    ERequestStatus status;
    std::string text;   ///< the request's text, for ERequestStatus::Request
    std::size_t reads;  ///< Read calls the request takes
};

/// The rules: a read of 0 bytes closes; the bytes before the first "\n" count; a read
/// that fills the buffer without "\n" is continued when more bytes are waiting; more
/// than kMaxRequestBytes is oversized; the text ends at its first zero byte.
SExpected Model(const std::vector<SRead>& reads, std::size_t first)
{
    std::string bytes;
    std::size_t at = first;
    for (;;) {
        if (at == reads.size() || reads[at].bytes.empty()) {
            return {ERequestStatus::Closed, std::string(), at + 1 - first};
        }
        const SRead& read = reads[at++];
        const std::size_t newline = read.bytes.find('\n');
        bytes += read.bytes.substr(0, newline);
        if (newline != std::string::npos || read.bytes.size() < static_cast<std::size_t>(kRequestReadSize) ||
            !read.moreWaiting) {
            break;
        }
    }
    if (bytes.size() > static_cast<std::size_t>(kMaxRequestBytes)) {
        return {ERequestStatus::Oversized, std::string(), at - first};
    }
    return {ERequestStatus::Request, bytes.substr(0, bytes.find('\0')), at - first};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider provider(data, size);
    const std::vector<SRead> reads = ReadScript(provider);
    CScriptedSource source(reads);

    // The request text is reused from one request to the next, as the loop does, and
    // shares its block with an earlier copy that must not change.
    CAnsiString text;
    std::size_t consumed = 0;
    for (;;) {
        const CAnsiString earlier = text;
        const std::string earlierText = CheckedText(earlier);

        const SExpected expected = Model(reads, consumed);
        const ERequestStatus status = ReadRequest(source, text);
        FUZZ_CHECK(status == expected.status);
        FUZZ_CHECK(source.GetCalls() - consumed == expected.reads);
        consumed = source.GetCalls();
        FUZZ_CHECK(CheckedText(earlier) == earlierText);

        if (status == ERequestStatus::Closed) {
            break;
        }
        if (status == ERequestStatus::Oversized) {
            FUZZ_CHECK(text.GetText() == nullptr);
            continue;
        }
        FUZZ_CHECK(text.GetText() != nullptr);
        const std::string got = CheckedText(text);
        FUZZ_CHECK_MSG(got == expected.text, "text '" + Printable(got) + "', expected '" + Printable(expected.text) + "'");
    }
    return 0;
}
