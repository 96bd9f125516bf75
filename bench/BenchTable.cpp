#include "bench/BenchTable.h"

#include <algorithm>

namespace {

constexpr std::size_t kIndent = 3;
constexpr std::size_t kGap = 2;

std::string Padded(const std::string& text, std::size_t width)
{
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::string MedianText(const SSummary& summary) { return summary.count == 0 ? "-" : FormatFigure(summary.median); }

std::string SpreadText(const SSummary& summary)
{
    return summary.count == 0 ? "-" : FormatFigure(summary.min) + " - " + FormatFigure(summary.max);
}

} // namespace

void CBenchTable::AddHeading(const std::string& text) { m_entries.push_back({EKind::Heading, text, {}, {}}); }

void CBenchTable::AddRow(const std::string& label, const SSummary& summary, const std::string& unit)
{
    m_entries.push_back({EKind::Row, label, summary, unit});
}

void CBenchTable::AddNote(const std::string& text) { m_entries.push_back({EKind::Note, text, {}, {}}); }

std::string CBenchTable::Render() const
{
    std::size_t labelWidth = 0;
    std::size_t medianWidth = std::string("median").size();
    std::size_t spreadWidth = std::string("spread (min - max)").size();
    for (const SEntry& entry : m_entries) {
        if (entry.kind != EKind::Row)
            continue;
        labelWidth = std::max(labelWidth, entry.label.size());
        medianWidth = std::max(medianWidth, MedianText(entry.summary).size());
        spreadWidth = std::max(spreadWidth, SpreadText(entry.summary).size());
    }
    const std::string indent(kIndent, ' ');
    const std::string gap(kGap, ' ');
    std::string text = Padded("", kIndent + labelWidth) + gap + Padded("median", medianWidth) + gap +
                       Padded("spread (min - max)", spreadWidth) + gap + "unit\n";
    for (const SEntry& entry : m_entries) {
        switch (entry.kind) {
        case EKind::Heading:
            text += entry.label + "\n";
            break;
        case EKind::Note:
            text += indent + entry.label + "\n";
            break;
        case EKind::Row:
            text += indent + Padded(entry.label, labelWidth) + gap + Padded(MedianText(entry.summary), medianWidth) +
                    gap + Padded(SpreadText(entry.summary), spreadWidth) + gap + entry.unit + "\n";
            break;
        }
    }
    return text;
}
