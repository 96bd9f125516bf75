#pragma once
/// The benchmark's printed table: headings, rows of a quantity's median and
/// spread with its unit, and free notes, in the order they were added.

#include "bench/BenchStats.h"

#include <string>
#include <vector>

class CBenchTable {
public:
    /// A line that opens a figure ("1  Per-request cost ...").
    void AddHeading(const std::string& text);
    /// A quantity: its label, the summary of its per-round values and its unit.
    /// A quantity that was not measured shows "-".
    void AddRow(const std::string& label, const SSummary& summary, const std::string& unit);
    /// A line of text under the current figure (a single value, a remark).
    void AddNote(const std::string& text);

    /// The whole table, one line per entry, columns aligned.
    std::string Render() const;

private:
    enum class EKind { Heading, Row, Note };
    struct SEntry {
        EKind kind;
        std::string label;
        SSummary summary;
        std::string unit;
    };
    std::vector<SEntry> m_entries;
};
