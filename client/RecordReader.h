#pragma once
/// Reads the record lines of one answer into an SPluginRecord.
///
/// The server writes its record one member per line, every member followed by a
/// comma (the last one and the last sub-plug-in too), with the JSON escapes of
/// its writer. The reader accepts exactly that, and any other well-formed JSON
/// object with the same members (spacing and trailing commas are free). Every
/// scalar member must be present with its type; "shells" may be absent (no
/// sub-plug-ins); unknown members are ignored.

#include "client/JsonMembers.h"
#include "client/PluginRecord.h"

#include <string>

class CRecordReader {
public:
    /// Adds the text of one ">" line (what follows ">:"). Returns true once the
    /// record's closing "}" line has arrived; lines after it are ignored.
    bool AddLine(const std::string& text);
    /// A record line has arrived.
    bool HasStarted() const { return !m_text.empty(); }
    bool IsComplete() const { return m_complete; }
    /// Parses the lines collected so far. False, with error set, when they are
    /// not a complete, well-formed record.
    bool Parse(SPluginRecord& record, std::string& error) const;

private:
    std::string m_text;
    bool m_complete = false;
};

/// Reads every member of the record but "shells", by the names the record
/// uses, strictly (see JsonMembers.h). The wire record and the database's copy
/// of it share this. False, with error naming the member, on the first fault.
bool ReadRecordMembers(const CJsonObject& object, SPluginRecord& record, std::string& error);

/// Parses a whole record text. False, with error set, when it is not one.
bool ParseRecordText(const std::string& text, SPluginRecord& record, std::string& error);
