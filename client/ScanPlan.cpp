#include "client/ScanPlan.h"

bool NeedsScan(const SDatabaseEntry& entry, const SFileStamp& stamp, const SPlanOptions& options)
{
    if (options.rescanAll || entry.stamp != stamp)
        return true;
    const EOutcome kind = entry.outcome.kind;
    if (kind == EOutcome::NoServer)
        return true;
    return options.retryProblems && (kind == EOutcome::Crashed || kind == EOutcome::TimedOut);
}

SLibraryPlan PlanLibrary(const CScanDatabase& database, const SLibraryFile& file, const SPlanOptions& options)
{
    SLibraryPlan plan;
    const SDatabaseEntry* library = database.FindLibrary(file.path);
    if (library == nullptr || NeedsScan(*library, file.stamp, options))
        return plan;
    if (library->outcome.hasRecord && library->outcome.record.IsShell()) {
        for (const SSubPlugin& sub : library->outcome.record.shells) {
            const SDatabaseEntry* entry = database.FindSubPlugin(file.path, sub.id);
            if (entry == nullptr || NeedsScan(*entry, file.stamp, options))
                plan.subPlugins.push_back(sub.id);
        }
    }
    plan.action = plan.subPlugins.empty() ? EPlanAction::Skip : EPlanAction::ScanSubPlugins;
    return plan;
}
