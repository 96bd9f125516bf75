#pragma once
/// \file
/// How one scan request ended. Every request ends in exactly one outcome.

#include "client/PluginRecord.h"

#include <cstdint>
#include <string>
#include <vector>

/// The ways a scan request ends.
enum class EOutcome {
    Scanned,   ///< the record arrived and names no error
    Failed,    ///< the record's error (or an answer without a usable record)
    Crashed,   ///< the server ended during the request
    TimedOut,  ///< the server was silent too long and was killed
    NotPlugin, ///< the file is not a library any scan server loads; no server was asked
    NoServer,  ///< the server could not be started: the plug-in was not examined
};

/// The outcome's name in the database and in the results ("scanned", "failed",
/// "crashed", "timedOut", "notPlugin", "noServer").
const char* OutcomeName(EOutcome outcome);
/// The reverse of OutcomeName; false for an unknown name.
bool OutcomeFromName(const std::string& name, EOutcome& outcome);
/// How the outcome reads in a table or a progress line ("timed out", ...).
const char* OutcomeLabel(EOutcome outcome);

/// How one request ended, with the record and what the servers left.
struct SScanOutcome {
    EOutcome kind = EOutcome::Failed; ///< which way it ended
    /// The record, when one arrived (Scanned and Failed with a record).
    bool hasRecord = false;
    SPluginRecord record; ///< valid when hasRecord
    /// Why it did not succeed, in words; empty for Scanned.
    std::string error;
    /// The platform of the server that loads the library ("x64", "x86"); empty
    /// when no server loads it.
    std::string platform;
    /// Crashed: the server's exit code (9 when its crash filter ended it).
    uint32_t exitCode = 0;
    /// The dumps the servers left for this request, the first attempt's first
    /// (a crash is tried once more, and the second attempt may crash too).
    std::vector<std::string> dumpFiles;
    /// Crashed and TimedOut: the server's last output lines before it ended.
    std::vector<std::string> lastLines;
    /// Titles of visible windows the server showed during the request (a licence
    /// or error dialog), splash excluded.
    std::vector<std::string> dialogs;
};

/// The platform of the server that loaded the library: the outcome's own, else
/// (in a database written before outcomes had one) its record's; empty when unknown.
std::string OutcomePlatform(const SScanOutcome& outcome);

/// "; dump FILE" or "; dumps FILE, FILE", empty without dumps: how the progress
/// lines and the results add an outcome's dumps to its text.
std::string DumpsText(const SScanOutcome& outcome);
