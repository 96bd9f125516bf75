#pragma once
/// The scanner's progress as text: a one-line bar redrawn on a terminal, or
/// plain lines (one per finished request) when the output is a file or a pipe.

#include "client/ScanDatabase.h"

#include <cstddef>
#include <string>
#include <vector>

/// "0:07", "12:05", "1:02:03" (negative counts as 0).
std::string FormatDuration(double seconds);

struct SProgressState {
    std::size_t done = 0;
    std::size_t total = 0;
    double elapsedSeconds = 0;
    std::vector<std::string> running; ///< requests in flight
    std::vector<std::string> dialogs; ///< window titles the running servers show
};

/// The time still needed at the pace so far, or a negative value while nothing
/// is done yet.
double RemainingSeconds(const SProgressState& state);

/// The bar, at most width columns: "[####......] 3/12  0:04 elapsed  ~0:12 left  Gain.dll".
std::string FormatProgressBar(const SProgressState& state, std::size_t width);

/// A plain line for a finished request: "[3/12] crashed       C:\VST\X.dll: why".
std::string FormatFinishedLine(const SDatabaseEntry& entry, std::size_t done, std::size_t total, bool retried);

/// A plain line for windows a running request shows.
std::string FormatDialogLine(const std::string& request, const std::vector<std::string>& titles);
