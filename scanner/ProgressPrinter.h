#pragma once
/// Shows a scan run's progress: on a terminal a bar redrawn in place (with a
/// line above it for each request that did not scan), elsewhere one plain line
/// per finished request and per window a running request shows.

#include "client/ScanRun.h"
#include "scanner/ProgressText.h"

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

class CProgressPrinter : public CRunObserver {
public:
    using CWrite = std::function<void(const std::string& text)>;
    /// Seconds since the run started.
    using CElapsed = std::function<double()>;

    CProgressPrinter(CWrite write, bool terminal, std::size_t columns, CElapsed elapsed);

    void OnPlanned(std::size_t requests) override;
    void OnStarted(unsigned worker, const std::string& request) override;
    void OnDialogs(unsigned worker, const std::string& request, const std::vector<std::string>& titles) override;
    void OnFinished(const SDatabaseEntry& entry, bool retried) override;
    void OnTick() override;

    /// Removes the bar, so that what follows starts on a clean line.
    void Finish();

private:
    void Redraw();
    void ClearBar();
    void PrintAboveBar(const std::string& line);

    CWrite m_write;
    bool m_terminal;
    std::size_t m_columns;
    CElapsed m_elapsed;
    std::size_t m_done = 0;
    std::size_t m_total = 0;
    std::map<unsigned, std::string> m_running;
    std::map<unsigned, std::vector<std::string>> m_dialogs;
    std::size_t m_barWidth = 0; ///< columns of the bar on screen; 0 when none is drawn
};
