#pragma once
/// The Linux server's crash reports (crash/CrashReport.h): where they go.

/// Reports go to folder (bytes as the system names it; null, empty or a folder
/// that does not exist: no report, the crash still ends the process with 9) and
/// name the server as serverName. Copied; call before InstallCrashFilter.
void ConfigureCrashReports(const char* folder, const char* serverName);
