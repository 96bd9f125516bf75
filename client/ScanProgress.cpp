#include "client/ScanProgress.h"

CScanProgress::CScanProgress(CScanDatabase& database, CRunObserver& printer, CElapsed elapsed, CSave save)
    : m_database(database), m_printer(printer), m_elapsed(std::move(elapsed)), m_save(std::move(save))
{
}

void CScanProgress::OnFinished(const SDatabaseEntry& entry, bool retried)
{
    m_dirty = true;
    ++summary.finished[static_cast<std::size_t>(entry.outcome.kind)];
    if (m_fillScannedThisRun)
        scannedThisRun.insert(entry.Request());
    m_printer.OnFinished(entry, retried);
}

void CScanProgress::OnTick()
{
    SaveIfDue();
    m_printer.OnTick();
}

bool CScanProgress::Save()
{
    const double start = m_elapsed();
    const bool saved = m_save(m_database, saveError);
    m_lastSave = m_elapsed();
    m_lastSaveSeconds = m_lastSave - start;
    if (!saved)
        return false;
    m_dirty = false;
    return true;
}

void CScanProgress::SaveIfDue()
{
    if (m_dirty && m_elapsed() - m_lastSave >= SaveInterval(m_lastSaveSeconds))
        Save();
}
