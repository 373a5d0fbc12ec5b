// The server's own options: each name known, each value checked before anything starts.
#include "server_options.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

bool ParseNumber(const char* text, long low, long high, int& value) {
    if (text == nullptr || *text == '\0') return false;
    long parsed = 0;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9') return false;
        parsed = parsed * 10 + (*c - '0');
        if (parsed > high) return false;
    }
    if (parsed < low) return false;
    value = static_cast<int>(parsed);
    return true;
}

bool ParseLogLevel(std::string_view text, pappl_loglevel_t& level) {
    struct Level {
        std::string_view name;
        pappl_loglevel_t level;
    };
    static constexpr Level kLevels[] = {
        {"fatal", PAPPL_LOGLEVEL_FATAL}, {"error", PAPPL_LOGLEVEL_ERROR}, {"warn", PAPPL_LOGLEVEL_WARN},
        {"info", PAPPL_LOGLEVEL_INFO},   {"debug", PAPPL_LOGLEVEL_DEBUG},
    };
    for (const Level& known : kLevels)
        if (known.name == text) {
            level = known.level;
            return true;
        }
    return false;
}

// A folder given by the administrator, as the kernel resolves it: links and
// ".." followed once now, so that later checks compare real paths.
bool ResolveDirectory(const char* text, std::string& resolved) {
    if (text == nullptr || text[0] != '/') return false;
    char real[PATH_MAX];
    if (realpath(text, real) == nullptr) return false;
    resolved = real;
    return true;
}

}  // namespace

bool ReadServerOptions(int count, cups_option_t* options, ServerOptions& out, std::string& error) {
    for (int i = 0; i < count; ++i) {
        const std::string_view name = options[i].name;
        const char* value = options[i].value;
        const auto refuse = [&](const char* why) {
            error = "-o " + std::string(name) + "=" + value + ": " + why;
            return false;
        };
        if (name == "server-port") {
            if (!ParseNumber(value, 1, 65535, out.port)) return refuse("the port must be a number from 1 to 65535.");
        } else if (name == "log-level") {
            if (!ParseLogLevel(value, out.logLevel))
                return refuse("the level must be fatal, error, warn, info or debug.");
        } else if (name == "log-file") {
            if (*value == '\0') return refuse("name a file, or - for standard error.");
            out.logFile = value;
        } else if (name == "spool-directory") {
            if (value[0] != '/') return refuse("the folder must be an absolute path.");
            out.spoolDirectory = value;
        } else if (name == "state-file") {
            if (value[0] != '/') return refuse("the file must be an absolute path.");
            out.stateFile = value;
        } else if (name == "server-hostname") {
            out.hostName = value;
        } else if (name == "listen-hostname") {
            out.listenHostName = value;
        } else if (name == "admin-group") {
            if (*value == '\0') return refuse("name a group.");
            out.adminGroup = value;
        } else if (name == "auth-service") {
            if (*value == '\0') return refuse("name a PAM service.");
            out.authService = value;
        } else if (name == "file-device-directory") {
            if (!ResolveDirectory(value, out.fileDeviceDirectory))
                return refuse("the folder must be an absolute path that exists.");
        } else if (name == "socket-directory") {
            if (value[0] != '/') return refuse("the folder must be an absolute path.");
            out.socketDirectory = value;
        } else if (name == "tls") {
            if (std::strcmp(value, "yes") != 0 && std::strcmp(value, "no") != 0) return refuse("say yes or no.");
            out.tls = std::strcmp(value, "yes") == 0;
        } else if (name == "job-stall-time") {
            if (!ParseNumber(value, 1, 86400, out.jobStallSeconds))
                return refuse("the time must be a number of seconds from 1 to 86400.");
        } else if (name == "render-memory-limit") {
            // 64 MiB is what ghostscript needs to start and band a plain page.
            if (!ParseNumber(value, 64, 1 << 20, out.renderMemoryMiB))
                return refuse("the limit must be a number of MiB from 64 to 1048576.");
        } else if (name == "private-server" || name == "device-id") {
            // Set by PAPPL's own sub-commands (a server started on demand,
            // the "drivers" listing): nothing of ours to configure.
        } else {
            return refuse("no such server option.");
        }
    }
    return true;
}
