#include "scanner/ScannerOptions.h"

#include "scanner/ResultsReport.h"
#include "wire/Protocol.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <sstream>

namespace {

const char* const kExitCodes =
    "Exit codes:\n"
    "  0  every plug-in scanned (files that are not x64 or x86 libraries aside)\n"
    "  1  some plug-ins failed, crashed or timed out, or a path was not found\n"
    "  2  the command line was wrong\n"
    "  3  the database or the scan server could not be used\n"
    "  130  interrupted (Ctrl+C): the scan servers were stopped, what ended is saved,\n"
    "       the rest is scanned by the next run\n";

void AddDatabaseOption(CLI::App& command, SScannerOptions& options, const SScannerSystem& system)
{
    command.add_option("--db", options.database, std::string("The database file (default: ") + system.defaultDatabase + ")");
    command.add_flag("--json", options.json, "Print the results as JSON instead of the table");
}

} // namespace

const SScannerSystem kWindowsScanner = {"*.dll", "%LOCALAPPDATA%\\Tessivane\\PluginScanner\\plugins.json",
                                        kServerProgramX64, kServerProgramX86, nullptr};
const SScannerSystem kLinuxScanner = {"*.so", "$XDG_DATA_HOME/tessivane/plugins.json, ~/.local/share/...",
                                      kServerProgramLinux, nullptr,
                                      "each folder of $VST_PATH, else ~/.vst, ~/.lxvst, /usr/local/lib/vst, "
                                      "/usr/local/lib/lxvst, /usr/lib/vst, /usr/lib/lxvst"};

SParsedArguments ParseScannerArguments(const std::vector<std::string>& arguments, const SScannerSystem& system)
{
    SParsedArguments parsed;
    SScannerOptions& options = parsed.options;
    CLI::App app("Scans VST 2 plug-in libraries with Tessivane scan servers and keeps the results.",
                 "PluginScanner");
    app.require_subcommand(1);
    // Paths may start with a slash ("/home/me/vst" under Wine), so "/x" is never an option.
    app.allow_windows_style_options(false);
    app.footer(kExitCodes);

    CLI::App* scan = app.add_subcommand("scan", std::string("Scan files and folder trees (") + system.libraryPattern +
                                                    ") into the database");
    CLI::Option* paths = scan->add_option(
        "paths", options.paths,
        std::string("Plug-in files and folders") +
            (system.defaultFolders != nullptr ? std::string(" (default: ") + system.defaultFolders + ", those that exist)"
                                              : std::string()));
    if (system.defaultFolders == nullptr)
        paths->required();
    AddDatabaseOption(*scan, options, system);
    scan->add_option("-j,--jobs", options.jobs, "Servers scanning at once (default: one per processor core)")
        ->check(CLI::Range(1u, 64u));
    scan->add_option("-t,--timeout", options.timeoutSeconds,
                     "Seconds a server may stay silent during a request before it is stopped (default: 30)")
        ->check(CLI::PositiveNumber);
    scan->add_flag("--retry", options.retry, "Scan unchanged files that crashed or timed out before again");
    scan->add_flag("--rescan", options.rescan, "Scan every file again, changed or not");
    scan->add_option("--server", options.server,
                     std::string("The scan server for x64 libraries (default: ") + system.serverProgram + " next to this program)");
    if (system.serverX86Program != nullptr)
        scan->add_option("--server-x86", options.serverX86,
                         std::string("The scan server for x86 libraries (default: ") + system.serverX86Program +
                             " next to this program)");
    scan->footer(kExitCodes);

    CLI::App* list = app.add_subcommand("list", "Print the database");
    AddDatabaseOption(*list, options, system);

    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& error) {
        std::ostringstream out;
        std::ostringstream err;
        const int code = app.exit(error, out, err);
        parsed.output = out.str() + err.str();
        parsed.exitCode = code == 0 ? kExitClean : kExitUsage;
        return parsed;
    }
    options.command = list->parsed() ? EScannerCommand::List : EScannerCommand::Scan;
    parsed.run = true;
    return parsed;
}

std::vector<std::string> LinuxPluginFolders(const char* vstPath, const char* home,
                                            const std::function<bool(const std::string& folder)>& exists)
{
    std::vector<std::string> candidates;
    if (vstPath != nullptr && *vstPath != '\0') {
        std::istringstream parts(vstPath);
        for (std::string part; std::getline(parts, part, ':');)
            if (!part.empty())
                candidates.push_back(part);
    } else {
        if (home != nullptr)
            candidates = {std::string(home) + "/.vst", std::string(home) + "/.lxvst"};
        for (const char* folder : {"/usr/local/lib/vst", "/usr/local/lib/lxvst", "/usr/lib/vst", "/usr/lib/lxvst"})
            candidates.push_back(folder);
    }
    std::vector<std::string> folders;
    for (const std::string& folder : candidates)
        if (exists(folder))
            folders.push_back(folder);
    return folders;
}
