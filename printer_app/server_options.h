// The server's own options (`server -o name=value`), read and checked once at start.
#pragma once

#include <string>

#include <pappl/pappl.h>

#include "job_limits.h"

struct ServerOptions {
    int port = 0;  // 0: 8000 + uid % 1000, PAPPL's usual choice
    pappl_loglevel_t logLevel = PAPPL_LOGLEVEL_WARN;
    std::string logFile = "-";
    std::string spoolDirectory;   // empty: PAPPL's default
    std::string stateFile;        // empty: /var/lib/NAME.state or the user's config folder
    std::string hostName;         // empty: the machine's
    std::string listenHostName;   // empty: every address
    std::string adminGroup = "lpadmin";
    std::string authService = "norvex-printer-app";  // the PAM service
    std::string fileDeviceDirectory;  // resolved; empty: no file devices
    std::string socketDirectory;      // empty: the usual one for the user
    bool tls = true;
    int jobStallSeconds = kDefaultStallSeconds;
    int renderMemoryMiB = kDefaultRenderMemoryMiB;
};

// Reads the options PAPPL's main loop hands to the system callback. A wrong
// value or an unknown name is refused: the text names the option and why,
// and the options are not used.
bool ReadServerOptions(int count, cups_option_t* options, ServerOptions& out, std::string& error);
