#include "scanner/ResultsReport.h"

#include "client/AnswerReader.h"
#include "client/EntryJson.h"
#include "scanner/ProgressText.h"
#include "scanner/TextColumns.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>

namespace {

constexpr std::size_t kWidestText = 36;
constexpr std::size_t kColumnGap = 2;
/// The table is written in pieces of about this many bytes.
constexpr std::size_t kTablePieceBytes = 64 * 1024;

const char* const kCategoryNames[] = {"unknown",     "effect",      "synth",   "analysis", "mastering", "spatializer",
                                      "room fx",     "surround fx", "restoration", "offline", "shell", "generator"};

/// A table row: one text per column.
using CRow = std::vector<std::string>;

CRow RowOf(const SDatabaseEntry& entry)
{
    const SScanOutcome& outcome = entry.outcome;
    const SPluginRecord& record = outcome.record;
    const std::string library = entry.isSubPlugin ? FileNameOf(entry.path) + ">" + HexId(entry.subId)
                                                  : FileNameOf(entry.path);
    const std::string platform = OutcomePlatform(outcome).empty() ? "-" : OutcomePlatform(outcome);
    if (!outcome.hasRecord)
        return {OutcomeLabel(outcome.kind), "-", "-", "-", "-", "-", "-", platform, library};
    const std::string indent = entry.isSubPlugin ? "  " : "";
    return {OutcomeLabel(outcome.kind),
            DisplayId(record.id),
            indent + FitWidth(record.name, kWidestText),
            FitWidth(record.vendor, kWidestText),
            record.version.empty() ? "-" : record.version,
            CategoryName(record.category),
            std::to_string(record.numInputs) + "/" + std::to_string(record.numOutputs),
            platform,
            library};
}

const CRow kTableHeader = {"Outcome", "Id", "Name", "Vendor", "Version", "Category", "In/Out", "Platform", "Library"};

/// The row of the table for index 0 (its header) and of entries[index - 1] after it.
CRow TableRow(const std::vector<const SDatabaseEntry*>& entries, std::size_t index)
{
    return index == 0 ? kTableHeader : RowOf(*entries[index - 1]);
}

bool IsProblem(EOutcome kind) { return kind != EOutcome::Scanned && kind != EOutcome::NotPlugin; }

/// The shell's order of a sub-plug-in, for sorting; unknown ids go last.
std::size_t ShellPosition(const SDatabaseEntry* library, uint32_t id)
{
    if (library == nullptr || !library->outcome.hasRecord)
        return SIZE_MAX;
    const std::vector<SSubPlugin>& shells = library->outcome.record.shells;
    for (std::size_t index = 0; index < shells.size(); ++index)
        if (shells[index].id == id)
            return index;
    return SIZE_MAX;
}

} // namespace

std::vector<const SDatabaseEntry*> CoveredEntries(const CScanDatabase& database,
                                                  const std::vector<SLibraryFile>& files)
{
    std::vector<const SDatabaseEntry*> covered;
    covered.reserve(files.size()); // one entry per library, unless shells add theirs
    for (const SLibraryFile& file : files) {
        std::vector<const SDatabaseEntry*> entries = database.EntriesOf(file.path);
        const SDatabaseEntry* library = database.FindLibrary(file.path);
        std::stable_sort(entries.begin(), entries.end(), [library](const SDatabaseEntry* a, const SDatabaseEntry* b) {
            if (a->isSubPlugin != b->isSubPlugin)
                return !a->isSubPlugin;
            return ShellPosition(library, a->subId) < ShellPosition(library, b->subId);
        });
        covered.insert(covered.end(), entries.begin(), entries.end());
    }
    return covered;
}

std::string CategoryName(int32_t category)
{
    if (category == kRecordCategoryNone)
        return "-";
    const auto count = static_cast<int32_t>(sizeof kCategoryNames / sizeof kCategoryNames[0]);
    if (category >= 0 && category < count)
        return kCategoryNames[category];
    return std::to_string(category);
}

void WriteResultsTable(const std::vector<const SDatabaseEntry*>& entries,
                       const std::function<void(const std::string& piece)>& write)
{
    // Each row is made twice, once for the widths and once for its line, so
    // that a large collection's table never stands in memory whole.
    std::vector<std::size_t> widths(kTableHeader.size(), 0);
    for (std::size_t index = 0; index <= entries.size(); ++index) {
        const CRow row = TableRow(entries, index);
        for (std::size_t column = 0; column < row.size(); ++column)
            widths[column] = std::max(widths[column], DisplayWidth(row[column]));
    }
    std::string text;
    for (std::size_t index = 0; index <= entries.size(); ++index) {
        const CRow row = TableRow(entries, index);
        for (std::size_t column = 0; column < row.size(); ++column)
            text += column + 1 == row.size() ? row[column] : PadRight(row[column], widths[column] + kColumnGap);
        text += "\n";
        if (text.size() >= kTablePieceBytes) {
            write(text);
            text.clear();
        }
    }
    if (!text.empty())
        write(text);
}

std::string FormatResultsTable(const std::vector<const SDatabaseEntry*>& entries)
{
    std::string text;
    WriteResultsTable(entries, [&text](const std::string& piece) { text += piece; });
    return text;
}

std::string FormatProblems(const std::vector<const SDatabaseEntry*>& entries,
                           const std::vector<SPathProblem>& pathProblems)
{
    std::string text;
    for (const SDatabaseEntry* entry : entries) {
        const SScanOutcome& outcome = entry->outcome;
        if (outcome.kind == EOutcome::Scanned)
            continue;
        text += "  " + entry->Request() + ": " + outcome.error;
        text += DumpsText(outcome);
        if (!outcome.dialogs.empty() && outcome.kind != EOutcome::TimedOut)
            text += "; it showed " + QuotedList(outcome.dialogs);
        text += "\n";
    }
    for (const SPathProblem& problem : pathProblems)
        text += "  " + problem.path + ": " + problem.error + "\n";
    return text;
}

std::string FormatSummary(const SRunSummary& summary)
{
    std::size_t requests = 0;
    std::string counts;
    for (std::size_t kind = 0; kind < summary.finished.size(); ++kind) {
        requests += summary.finished[kind];
        if (summary.finished[kind] == 0)
            continue;
        const auto outcome = static_cast<EOutcome>(kind);
        const bool several = summary.finished[kind] != 1;
        const std::string label = outcome == EOutcome::NotPlugin && several ? "not plug-ins" : OutcomeLabel(outcome);
        counts += (counts.empty() ? ": " : ", ") + std::to_string(summary.finished[kind]) + " " + label;
    }
    std::string text = "Scanned " + std::to_string(requests) + (requests == 1 ? " request" : " requests") + " in " +
                       FormatDuration(summary.elapsedSeconds);
    if (requests > 0)
        text += " with " + std::to_string(summary.servers) + (summary.servers == 1 ? " server" : " servers");
    text += counts + "; " + std::to_string(summary.skipped) + " unchanged skipped";
    if (summary.pathProblems > 0)
        text += "; " + std::to_string(summary.pathProblems) + " not found";
    if (summary.interrupted)
        text += "; interrupted, the rest is scanned by the next run";
    return text + ".\n";
}

int ResultsExitCode(const std::vector<const SDatabaseEntry*>& entries, const std::vector<SPathProblem>& pathProblems)
{
    if (!pathProblems.empty())
        return kExitProblems;
    for (const SDatabaseEntry* entry : entries)
        if (IsProblem(entry->outcome.kind))
            return kExitProblems;
    return kExitClean;
}

std::string FormatResultsJson(const std::vector<const SDatabaseEntry*>& entries,
                              const std::vector<SPathProblem>& pathProblems,
                              const std::vector<SDuplicateId>& duplicates, const SRunSummary& summary)
{
    using COrderedJson = nlohmann::ordered_json;
    COrderedJson results = COrderedJson::array();
    for (const SDatabaseEntry* entry : entries) {
        COrderedJson item = EntryToJson(*entry);
        item["thisRun"] = entry->scannedThisRun;
        results.push_back(std::move(item));
    }
    COrderedJson notFound = COrderedJson::array();
    for (const SPathProblem& problem : pathProblems)
        notFound.push_back(COrderedJson{{"path", problem.path}, {"error", problem.error}});
    COrderedJson duplicateIds = COrderedJson::array();
    for (const SDuplicateId& duplicate : duplicates) {
        COrderedJson requests = COrderedJson::array();
        for (const SDatabaseEntry* entry : duplicate.entries)
            requests.push_back(entry->Request());
        duplicateIds.push_back(COrderedJson{{"id", HexId(duplicate.id)}, {"plugins", std::move(requests)}});
    }
    COrderedJson counts;
    for (std::size_t kind = 0; kind < summary.finished.size(); ++kind)
        counts[OutcomeName(static_cast<EOutcome>(kind))] = summary.finished[kind];
    counts["skipped"] = summary.skipped;
    counts["notFound"] = summary.pathProblems;
    COrderedJson document;
    document["database"] = summary.database;
    document["results"] = std::move(results);
    document["notFound"] = std::move(notFound);
    document["duplicates"] = std::move(duplicateIds);
    document["summary"] = std::move(counts);
    return document.dump(2, ' ', false, COrderedJson::error_handler_t::replace) + "\n";
}
