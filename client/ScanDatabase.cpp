#include "client/ScanDatabase.h"

#include "client/EntryJson.h"

#include <algorithm>
#include <cstddef>
#include <iterator>

namespace {

constexpr const char* kFormatName = "Tessivane plug-in scan database";
constexpr int kFormatVersion = 1;
/// Spaces per level of the file's indentation.
constexpr int kJsonIndent = 2;
/// The database's text is written in pieces of about this many bytes.
constexpr std::size_t kJsonPieceBytes = 64 * 1024;
/// The document's member that lists the entries.
constexpr const char* kPluginsMember = "plugins";
/// How deep the parser stands at the document's members, and at the elements of a member's list.
constexpr int kMemberDepth = 1;
constexpr int kElementDepth = 2;

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

/// A text read one character at a time, from where it stands or from the
/// pieces a reader gives: only the current piece stands in memory.
class CTextSource {
public:
    CTextSource(const char* text, std::size_t size, const CScanDatabase::CTextReader* read)
        : m_at(text), m_end(text + size), m_read(read)
    {
    }
    /// True when the text has ended; takes the next piece when the current one has.
    bool AtEnd()
    {
        while (m_at == m_end && m_read != nullptr && (*m_read)(m_piece)) {
            m_at = m_piece.data();
            m_end = m_at + m_piece.size();
        }
        return m_at == m_end;
    }
    const char& Current() const { return *m_at; }
    void Next() { ++m_at; }

private:
    const char* m_at;
    const char* m_end;
    const CScanDatabase::CTextReader* m_read; ///< null: the text stands whole
    std::string m_piece;
};

/// The parser's view of a text source: an input iterator, the default one its end.
class CTextIterator {
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    CTextIterator() = default;
    explicit CTextIterator(CTextSource& source) : m_source(&source) {}
    reference operator*() const { return m_source->Current(); }
    CTextIterator& operator++()
    {
        m_source->Next();
        return *this;
    }
    bool operator==(const CTextIterator& other) const { return AtEnd() == other.AtEnd(); }
    bool operator!=(const CTextIterator& other) const { return !(*this == other); }

private:
    bool AtEnd() const { return m_source == nullptr || m_source->AtEnd(); }
    CTextSource* m_source = nullptr;
};

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

void CScanDatabase::ClearScannedThisRun()
{
    // The flag is no part of the order, so the entries may change it in place.
    for (const SDatabaseEntry& entry : m_entries)
        const_cast<SDatabaseEntry&>(entry).scannedThisRun = false;
}

std::vector<std::string> CScanDatabase::RemoveGone(const std::function<bool(const std::string& path)>& isGone)
{
    // Walked in place, a library's entries at a time: a large database's paths are not copied first.
    std::vector<std::string> removed;
    auto library = m_entries.begin();
    while (library != m_entries.end()) {
        auto next = std::next(library);
        while (next != m_entries.end() && CompareFolded(next->path, library->path) == 0)
            ++next;
        if (isGone(library->path)) {
            removed.push_back(library->path);
            library = m_entries.erase(library, next);
        } else {
            library = next;
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
    return ReadJsonFrom(text.data(), text.size(), nullptr, error, rejected);
}

bool CScanDatabase::ReadJson(const CTextReader& read, std::string& error, std::vector<std::string>& rejected)
{
    return ReadJsonFrom(nullptr, 0, &read, error, rejected);
}

bool CScanDatabase::ReadJsonFrom(const char* text, std::size_t size, const CTextReader* read, std::string& error,
                                 std::vector<std::string>& rejected)
{
    // Each element of the "plugins" list is read into an entry as soon as it
    // is parsed and then left out of the tree, so a large database never stands
    // in memory as one JSON tree. The entries are kept only once the whole
    // document has read as a database.
    CEntries entries;
    std::vector<std::string> skipped;
    std::string lastKey;
    bool inPlugins = false;
    const auto readEntries = [&](int depth, CJsonObject::parse_event_t event, CJsonObject& parsed) {
        using EEvent = CJsonObject::parse_event_t;
        if (depth == kMemberDepth && event == EEvent::key) {
            lastKey = parsed.get<std::string>();
        } else if (depth == kMemberDepth && event == EEvent::array_start) {
            inPlugins = lastKey == kPluginsMember;
            // A later "plugins" member stands in place of an earlier one, as it does in a JSON object.
            if (inPlugins) {
                entries.clear();
                skipped.clear();
            }
        } else if (depth == kMemberDepth && event == EEvent::array_end) {
            inPlugins = false;
        } else if (inPlugins && depth == kElementDepth &&
                   (event == EEvent::object_end || event == EEvent::array_end || event == EEvent::value)) {
            // Emptied however this ends: the parser then drops an empty value (see EmptyJson).
            const CJsonEmptier emptier(parsed);
            SDatabaseEntry entry;
            std::string problem;
            if (EntryFromJson(parsed, entry, problem))
                Replace(entries, std::move(entry));
            else
                skipped.push_back(problem);
            return false;
        }
        return true;
    };
    CJsonObject document;
    try {
        CTextSource source(text, size, read);
        document = CJsonObject::parse(CTextIterator(source), CTextIterator(), readEntries);
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
    const auto plugins = document.find(kPluginsMember);
    if (plugins == document.end() || !plugins->is_array()) {
        error = "the database has no \"plugins\" list";
        return false;
    }
    m_entries = std::move(entries);
    rejected = std::move(skipped);
    return true;
}
