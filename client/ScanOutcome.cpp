#include "client/ScanOutcome.h"

namespace {

struct SOutcomeNames {
    EOutcome outcome;
    const char* name;
    const char* label;
};

constexpr SOutcomeNames kNames[] = {
    {EOutcome::Scanned, "scanned", "scanned"},       {EOutcome::Failed, "failed", "failed"},
    {EOutcome::Crashed, "crashed", "crashed"},       {EOutcome::TimedOut, "timedOut", "timed out"},
    {EOutcome::NotPlugin, "notPlugin", "not a plug-in"}, {EOutcome::NoServer, "noServer", "no server"},
};

const SOutcomeNames& NamesOf(EOutcome outcome)
{
    for (const SOutcomeNames& names : kNames)
        if (names.outcome == outcome)
            return names;
    return kNames[1];
}

} // namespace

const char* OutcomeName(EOutcome outcome) { return NamesOf(outcome).name; }

const char* OutcomeLabel(EOutcome outcome) { return NamesOf(outcome).label; }

bool OutcomeFromName(const std::string& name, EOutcome& outcome)
{
    for (const SOutcomeNames& names : kNames) {
        if (name == names.name) {
            outcome = names.outcome;
            return true;
        }
    }
    return false;
}

std::string DumpsText(const SScanOutcome& outcome)
{
    std::string text;
    for (const std::string& dump : outcome.dumpFiles)
        text += (text.empty() ? "" : ", ") + dump;
    if (text.empty())
        return text;
    return (outcome.dumpFiles.size() == 1 ? "; dump " : "; dumps ") + text;
}

std::string OutcomePlatform(const SScanOutcome& outcome)
{
    return outcome.platform.empty() && outcome.hasRecord ? outcome.record.platform : outcome.platform;
}
