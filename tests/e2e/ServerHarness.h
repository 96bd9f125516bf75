#pragma once
// Shared by the end-to-end tests: where the built programs are, and a server
// started through the host-side client.

#include "client/ServerConnection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

/// The folder of the running test program (bin/ of the Windows build), with a
/// trailing backslash, in UTF-8.
std::string BinaryFolder();

/// bin/ScanServer-x64.exe
std::string ServerPath();

/// A fresh empty folder under the system's temporary folder, in UTF-8.
std::string MakeTemporaryFolder(const std::string& prefix);

/// The names of the files in folder.
std::vector<std::string> ListFiles(const std::string& folder);

/// Starts the server with the default options and reads its banner; fails the
/// test when it does not reach "ready:".
void StartServer(CServerConnection& server, SServerOptions options = SServerOptions());

/// Sends one request and returns every line up to the next "ready:".
std::vector<std::string> Exchange(CServerConnection& server, const std::string& request);

/// Closes the input and returns the exit code (fails the test after 30 s).
uint32_t CloseAndWait(CServerConnection& server);
