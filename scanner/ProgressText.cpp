#include "scanner/ProgressText.h"

#include "client/AnswerReader.h"
#include "scanner/TextColumns.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr std::size_t kBarCells = 20;
constexpr std::size_t kOutcomeColumn = 14;

std::string Counter(std::size_t done, std::size_t total)
{
    return std::to_string(done) + "/" + std::to_string(total);
}

} // namespace

std::string FormatDuration(double seconds)
{
    const long total = seconds > 0 ? static_cast<long>(std::floor(seconds)) : 0;
    const long hours = total / 3600;
    const long minutes = (total / 60) % 60;
    const long rest = total % 60;
    char text[32];
    if (hours > 0)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", hours, minutes, rest);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", minutes, rest);
    return text;
}

double RemainingSeconds(const SProgressState& state)
{
    if (state.done == 0 || state.total < state.done)
        return -1;
    return state.elapsedSeconds / static_cast<double>(state.done) * static_cast<double>(state.total - state.done);
}

std::string FormatProgressBar(const SProgressState& state, std::size_t width)
{
    const std::size_t filled = state.total == 0 ? kBarCells : std::min(kBarCells, state.done * kBarCells / state.total);
    std::string line = "[" + std::string(filled, '#') + std::string(kBarCells - filled, '.') + "] " +
                       Counter(state.done, state.total) + "  " + FormatDuration(state.elapsedSeconds) + " elapsed";
    const double remaining = RemainingSeconds(state);
    line += remaining < 0 ? "  ~?:?? left" : "  ~" + FormatDuration(remaining) + " left";
    std::string running;
    for (const std::string& request : state.running)
        running += (running.empty() ? "" : ", ") + FileNameOf(request);
    if (!running.empty())
        line += "  " + running;
    if (!state.dialogs.empty())
        line += "  [window " + QuotedList(state.dialogs) + "]";
    return FitWidth(line, width);
}

std::string FormatFinishedLine(const SDatabaseEntry& entry, std::size_t done, std::size_t total, bool retried)
{
    const SScanOutcome& outcome = entry.outcome;
    std::string line = "[" + Counter(done, total) + "] " + PadRight(OutcomeLabel(outcome.kind), kOutcomeColumn) +
                       entry.Request();
    if (outcome.kind == EOutcome::Scanned)
        line += ": " + outcome.record.name + " (" + DisplayId(outcome.record.id) + ")";
    else
        line += ": " + outcome.error;
    line += DumpsText(outcome);
    if (retried)
        line += " (second attempt after a crash)";
    return line;
}

std::string FormatDialogLine(const std::string& request, const std::vector<std::string>& titles)
{
    return "       " + PadRight("window", kOutcomeColumn) + request + ": " + QuotedList(titles);
}
