#include "client/ScanDatabase.h"

#include "client/EntryJson.h"

#include <algorithm>

namespace {

constexpr const char* kFormatName = "Tessivane plug-in scan database";
constexpr int kFormatVersion = 1;
/// Spaces per level of the file's indentation.
constexpr int kJsonIndent = 2;
/// The database's text is written in pieces of about this many bytes.
constexpr std::size_t kJsonPieceBytes = 64 * 1024;

} // namespace

namespace {

/// ASCII letters folded to lower case, as FoldedPath folds them.
unsigned char FoldedChar(char c)
{
    return static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
}

/// Compares FoldedPath(left) with FoldedPath(right), without making them:
/// negative, 0 or positive as std::string's compare.
int CompareFolded(const std::string& left, const std::string& right)
{
    const std::size_t common = std::min(left.size(), right.size());
    for (std::size_t index = 0; index < common; ++index) {
        const unsigned char l = FoldedChar(left[index]);
        const unsigned char r = FoldedChar(right[index]);
        if (l != r)
            return l < r ? -1 : 1;
    }
    return left.size() == right.size() ? 0 : left.size() < right.size() ? -1 : 1;
}

} // namespace

std::string FoldedPath(const std::string& path)
{
    std::string folded = path;
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

bool CScanDatabase::SOrder::Less(const SKey& left, const SKey& right)
{
    const int paths = CompareFolded(left.path, right.path);
    if (paths != 0)
        return paths < 0;
    if (left.isSubPlugin != right.isSubPlugin)
        return !left.isSubPlugin;
    return left.id < right.id;
}

void CScanDatabase::Replace(CEntries& entries, SDatabaseEntry entry)
{
    auto found = entries.find(entry);
    if (found != entries.end())
        found = entries.erase(found);
    entries.insert(found, std::move(entry));
}

const SDatabaseEntry* CScanDatabase::FindLibrary(const std::string& path) const
{
    const auto found = m_entries.find(SKey{path, false, 0});
    return found == m_entries.end() ? nullptr : &*found;
}

const SDatabaseEntry* CScanDatabase::FindSubPlugin(const std::string& path, uint32_t id) const
{
    const auto found = m_entries.find(SKey{path, true, id});
    return found == m_entries.end() ? nullptr : &*found;
}

void CScanDatabase::Put(SDatabaseEntry entry)
{
    if (!entry.isSubPlugin)
        entry.subId = 0;
    Replace(m_entries, std::move(entry));
}

void CScanDatabase::RemoveLibrary(const std::string& path)
{
    const auto first = m_entries.lower_bound(SKey{path, false, 0});
    auto last = first;
    while (last != m_entries.end() && CompareFolded(last->path, path) == 0)
        ++last;
    m_entries.erase(first, last);
}

void CScanDatabase::RemoveSubPluginsExcept(const std::string& path, const std::vector<uint32_t>& kept)
{
    auto item = m_entries.lower_bound(SKey{path, true, 0});
    while (item != m_entries.end() && CompareFolded(item->path, path) == 0) {
        if (std::find(kept.begin(), kept.end(), item->subId) == kept.end())
            item = m_entries.erase(item);
        else
            ++item;
    }
}

std::vector<std::string> CScanDatabase::RemoveGone(const std::function<bool(const std::string& path)>& isGone)
{
    std::vector<std::string> removed;
    for (const std::string& path : LibraryPaths()) {
        if (isGone(path)) {
            RemoveLibrary(path);
            removed.push_back(path);
        }
    }
    return removed;
}

std::vector<const SDatabaseEntry*> CScanDatabase::Entries() const
{
    std::vector<const SDatabaseEntry*> entries;
    entries.reserve(m_entries.size());
    for (const auto& item : m_entries)
        entries.push_back(&item);
    return entries;
}

std::vector<const SDatabaseEntry*> CScanDatabase::EntriesOf(const std::string& path) const
{
    std::vector<const SDatabaseEntry*> entries;
    for (auto item = m_entries.lower_bound(SKey{path, false, 0});
         item != m_entries.end() && CompareFolded(item->path, path) == 0; ++item)
        entries.push_back(&*item);
    return entries;
}

std::vector<std::string> CScanDatabase::LibraryPaths() const
{
    std::vector<std::string> paths;
    for (const auto& item : m_entries)
        if (paths.empty() || CompareFolded(paths.back(), item.path) != 0)
            paths.push_back(item.path);
    return paths;
}

std::string CScanDatabase::ToJson() const
{
    std::string text;
    WriteJson([&text](const std::string& piece) {
        text += piece;
        return true;
    });
    return text;
}

bool CScanDatabase::WriteJson(const CTextWriter& write) const
{
    // The text the whole document's dump with an indent of 2 would give,
    // written entry by entry: a large database never stands in memory as one
    // JSON tree nor as one text.
    const auto dump = [](const CJsonObject& value) {
        return value.dump(kJsonIndent, ' ', false, CJsonObject::error_handler_t::replace);
    };
    CJsonObject head = CJsonObject::object();
    const CJsonEmptier emptyHead(head);
    head["format"] = kFormatName;
    head["version"] = kFormatVersion;
    std::string text = dump(head);
    text.erase(text.size() - 2); // its closing "\n}"
    text += ",\n  \"plugins\": [";
    const std::string entryIndent = "\n" + std::string(2 * kJsonIndent, ' ');
    bool first = true;
    for (const auto& item : m_entries) {
        if (text.size() >= kJsonPieceBytes) {
            if (!write(text))
                return false;
            text.clear();
        }
        text += first ? entryIndent : "," + entryIndent;
        first = false;
        CJsonObject json = EntryToJson(item);
        const CJsonEmptier emptier(json);
        const std::string entry = dump(json);
        for (std::size_t start = 0, end = 0; start < entry.size(); start = end + 1) {
            end = std::min(entry.find('\n', start), entry.size());
            if (start > 0)
                text += entryIndent;
            text.append(entry, start, end - start);
        }
    }
    text += first ? "]" : "\n  ]";
    text += "\n}\n";
    return write(text);
}

bool CScanDatabase::FromJson(const std::string& text, std::string& error, std::vector<std::string>& rejected)
{
    CJsonObject document;
    try {
        document = CJsonObject::parse(text);
    } catch (const CJsonObject::exception& failure) { // parse_error, or out_of_range for a number like 1e400
        error = std::string("not JSON: ") + failure.what();
        return false;
    }
    std::string format;
    std::string problem;
    if (!ReadString(document, "format", format, problem) || format != kFormatName) {
        error = "not a plug-in scan database";
        return false;
    }
    int32_t version = 0;
    if (!ReadInt32(document, "version", version, problem) || version != kFormatVersion) {
        error = "a database version this scanner does not know";
        return false;
    }
    const auto plugins = document.find("plugins");
    if (plugins == document.end() || !plugins->is_array()) {
        error = "the database has no \"plugins\" list";
        return false;
    }
    CEntries entries;
    std::vector<std::string> skipped;
    for (const CJsonObject& item : *plugins) {
        SDatabaseEntry entry;
        if (!EntryFromJson(item, entry, problem)) {
            skipped.push_back(problem);
            continue;
        }
        Replace(entries, std::move(entry));
    }
    m_entries = std::move(entries);
    rejected = std::move(skipped);
    return true;
}
