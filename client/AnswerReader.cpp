#include "client/AnswerReader.h"

#include "client/LineSplitter.h"
#include "wire/Protocol.h"

#include <cstdio>

namespace {


std::string ExitCodeText(uint32_t code)
{
    char text[16];
    if (code > 0xFFFF)
        std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
    else
        std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(code));
    return text;
}

std::string SecondsText(uint32_t milliseconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3g s", milliseconds / 1000.0);
    return text;
}

} // namespace

CAnswerReader::CAnswerReader(std::size_t keptLines) : m_keptLines(keptLines) {}

bool CAnswerReader::AddLine(const std::string& line)
{
    if (line == kReadyLine)
        return true;
    if (LineTag(line) == ">")
        m_record.AddLine(LineText(line));
    m_lastLines.push_back(line);
    if (m_lastLines.size() > m_keptLines)
        m_lastLines.pop_front();
    return false;
}

SScanOutcome CAnswerReader::Answered() const
{
    SScanOutcome outcome;
    std::string problem;
    if (!m_record.Parse(outcome.record, problem)) {
        outcome.kind = EOutcome::Failed;
        outcome.error = problem;
        outcome.lastLines = LastLines();
        return outcome;
    }
    outcome.hasRecord = true;
    outcome.kind = outcome.record.error.empty() ? EOutcome::Scanned : EOutcome::Failed;
    outcome.error = outcome.record.error;
    return outcome;
}

SScanOutcome CAnswerReader::Crashed(uint32_t exitCode, const std::string& dumpFile) const
{
    SScanOutcome outcome;
    outcome.kind = EOutcome::Crashed;
    outcome.exitCode = exitCode;
    if (!dumpFile.empty())
        outcome.dumpFiles.push_back(dumpFile);
    outcome.lastLines = LastLines();
    outcome.error = exitCode == static_cast<uint32_t>(kCrashExitCode)
                        ? "the scan server crashed (exit code 9)"
                        : "the scan server ended unexpectedly (exit code " + ExitCodeText(exitCode) + ")";
    return outcome;
}

SScanOutcome CAnswerReader::TimedOut(uint32_t silenceMs, const std::vector<std::string>& dialogs) const
{
    SScanOutcome outcome;
    outcome.kind = EOutcome::TimedOut;
    outcome.lastLines = LastLines();
    outcome.dialogs = dialogs;
    outcome.error = "no answer for " + SecondsText(silenceMs) + "; the scan server was stopped";
    if (!dialogs.empty())
        outcome.error += " (it showed " + QuotedList(dialogs) + ")";
    return outcome;
}

std::vector<std::string> CAnswerReader::LastLines() const
{
    return std::vector<std::string>(m_lastLines.begin(), m_lastLines.end());
}

std::string QuotedList(const std::vector<std::string>& titles)
{
    std::string text;
    for (const std::string& title : titles) {
        if (!text.empty())
            text += ", ";
        text += "'" + title + "'";
    }
    return text;
}
