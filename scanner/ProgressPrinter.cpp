#include "scanner/ProgressPrinter.h"

#include "scanner/TextColumns.h"

CProgressPrinter::CProgressPrinter(CWrite write, bool terminal, std::size_t columns, CElapsed elapsed)
    : m_write(std::move(write)), m_terminal(terminal), m_columns(columns), m_elapsed(std::move(elapsed))
{
}

void CProgressPrinter::OnPlanned(std::size_t requests)
{
    m_total = requests;
    Redraw();
}

void CProgressPrinter::OnStarted(unsigned worker, const std::string& request)
{
    m_running[worker] = request;
    m_dialogs.erase(worker);
    Redraw();
}

void CProgressPrinter::OnDialogs(unsigned worker, const std::string& request, const std::vector<std::string>& titles)
{
    m_dialogs[worker] = titles;
    if (m_terminal)
        Redraw();
    else
        m_write(FormatDialogLine(request, titles) + "\n");
}

void CProgressPrinter::OnFinished(const SDatabaseEntry& entry, bool retried)
{
    ++m_done;
    for (auto running = m_running.begin(); running != m_running.end(); ++running) {
        if (running->second == entry.Request()) {
            m_dialogs.erase(running->first);
            m_running.erase(running);
            break;
        }
    }
    const std::string line = FormatFinishedLine(entry, m_done, m_total, retried);
    if (!m_terminal)
        m_write(line + "\n");
    else if (entry.outcome.kind != EOutcome::Scanned)
        PrintAboveBar(line);
    Redraw();
}

void CProgressPrinter::OnTick() { Redraw(); }

void CProgressPrinter::Finish() { ClearBar(); }

void CProgressPrinter::Redraw()
{
    if (!m_terminal)
        return;
    SProgressState state;
    state.done = m_done;
    state.total = m_total;
    state.elapsedSeconds = m_elapsed();
    for (const auto& running : m_running)
        state.running.push_back(running.second);
    for (const auto& shown : m_dialogs)
        state.dialogs.insert(state.dialogs.end(), shown.second.begin(), shown.second.end());
    // One column less than the terminal, so that the cursor never wraps.
    const std::string bar = FormatProgressBar(state, m_columns > 1 ? m_columns - 1 : m_columns);
    const std::size_t width = DisplayWidth(bar);
    m_write("\r" + bar + (width < m_barWidth ? std::string(m_barWidth - width, ' ') : std::string()));
    m_barWidth = width;
}

void CProgressPrinter::ClearBar()
{
    if (m_barWidth == 0)
        return;
    m_write("\r" + std::string(m_barWidth, ' ') + "\r");
    m_barWidth = 0;
}

void CProgressPrinter::PrintAboveBar(const std::string& line)
{
    ClearBar();
    m_write(line + "\n");
}
