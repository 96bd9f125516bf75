#pragma once
/// \file
/// The scanner's memory between runs: one entry per plug-in library and per
/// sub-plug-in of a shell, with how its last scan ended and what it reported.
///
/// Invariants: a library has at most one entry, and so has each sub-plug-in id
/// of a library; paths compare without regard to ASCII case, as Windows paths
/// do. Entries iterate in a stable order (by path, a library before its
/// sub-plug-ins, those by id), so the saved file does not depend on the order
/// in which the scans finished.

#include "client/DatabaseEntry.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

/// The database's entries in memory, one per plug-in and sub-plug-in.
class CScanDatabase {
public:
    /// The library's own entry, or null.
    const SDatabaseEntry* FindLibrary(const std::string& path) const;
    /// A sub-plug-in's entry, or null.
    const SDatabaseEntry* FindSubPlugin(const std::string& path, uint32_t id) const;
    /// Adds the entry or replaces the one with the same path and sub-plug-in id.
    void Put(SDatabaseEntry entry);
    /// Removes a library's entry and the entries of its sub-plug-ins.
    void RemoveLibrary(const std::string& path);
    /// Removes the entries of the library's sub-plug-ins whose ids are not kept.
    void RemoveSubPluginsExcept(const std::string& path, const std::vector<uint32_t>& kept);
    /// Clears every entry's scannedThisRun: a new run begins.
    void ClearScannedThisRun();
    /// Removes every library (with its sub-plug-ins) for which isGone is true;
    /// returns the paths removed.
    std::vector<std::string> RemoveGone(const std::function<bool(const std::string& path)>& isGone);

    /// Every entry in the stable order.
    std::vector<const SDatabaseEntry*> Entries() const;
    /// The library's entry (when there is one) and then its sub-plug-ins'.
    std::vector<const SDatabaseEntry*> EntriesOf(const std::string& path) const;
    /// The paths of the libraries that have entries, in the stable order.
    std::vector<std::string> LibraryPaths() const;
    /// The number of entries.
    std::size_t Size() const { return m_entries.size(); }

    /// Takes the next piece of a text; false when it cannot (the text then stops).
    using CTextWriter = std::function<bool(const std::string& piece)>;

    /// The database file's text (JSON, UTF-8).
    std::string ToJson() const;
    /// Gives ToJson's text to write in pieces (tens of kilobytes each), so
    /// that a large database is never held whole as text; false when write
    /// returned false.
    bool WriteJson(const CTextWriter& write) const;
    /// Reads a database file's text. False, with error set, when it is not one;
    /// the database is then left unchanged. An entry that does not read (a
    /// member of the wrong type, out of range or missing) is left out, so its
    /// plug-in counts as not scanned, and rejected gets a line that names the
    /// entry and the member; the other entries are kept.
    bool FromJson(const std::string& text, std::string& error, std::vector<std::string>& rejected);

    /// Gives the next piece of a text in piece; false when there is no more.
    using CTextReader = std::function<bool(std::string& piece)>;

    /// FromJson over a text given in pieces as read gives them, so that a
    /// large database file is never held whole as text.
    bool ReadJson(const CTextReader& read, std::string& error, std::vector<std::string>& rejected);

private:
    /// Where an entry stands: its path (compared folded), library or
    /// sub-plug-in, and the sub-plug-in's id (0 for a library).
    struct SKey {
        const std::string& path;
        bool isSubPlugin;
        uint32_t id;
    };
    /// The stable order, over entries and keys alike; the entry's own path is
    /// its key, so a large collection does not hold each path twice.
    struct SOrder {
        using is_transparent = void;
        static SKey KeyOf(const SDatabaseEntry& entry)
        {
            return {entry.path, entry.isSubPlugin, entry.isSubPlugin ? entry.subId : 0};
        }
        static const SKey& KeyOf(const SKey& key) { return key; }
        static bool Less(const SKey& left, const SKey& right);
        template <typename TLeft, typename TRight>
        bool operator()(const TLeft& left, const TRight& right) const
        {
            return Less(KeyOf(left), KeyOf(right));
        }
    };
    using CEntries = std::set<SDatabaseEntry, SOrder>;
    /// Puts the entry into entries in place of one with the same key.
    static void Replace(CEntries& entries, SDatabaseEntry entry);
    /// FromJson over the size bytes at text and then the pieces that read
    /// gives (null: none).
    bool ReadJsonFrom(const char* text, std::size_t size, const CTextReader* read, std::string& error,
                      std::vector<std::string>& rejected);
    CEntries m_entries;
};

/// Paths as the database compares them: ASCII letters folded to lower case.
std::string FoldedPath(const std::string& path);
