// norvex-printer-app: the Norvex printers as driverless IPP Everywhere
// printers, each job printed by the rastertoNorvex filter.
#include <csignal>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include <pappl/pappl.h>

#include "document_filters.h"
#include "document_formats.h"
#include "driver_data.h"
#include "drivers.h"
#include "job_admission.h"
#include "state_saving.h"

namespace {

constexpr char kName[] = "norvex-printer-app";

// The state file: -o state-file=PATH, else PAPPL's usual place.
std::string StateFileOf(int numOptions, cups_option_t* options) {
    if (const char* path = cupsGetOption("state-file", numOptions, options)) return path;
    if (getuid() == 0) return std::string("/var/lib/") + kName + ".state";
    if (const char* config = std::getenv("XDG_CONFIG_HOME")) return std::string(config) + "/" + kName + ".state";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "/tmp") + "/.config/" + kName + ".state";
}

pappl_loglevel_t LogLevelOf(const char* value) {
    if (value == nullptr) return PAPPL_LOGLEVEL_WARN;
    const std::string level = value;
    if (level == "fatal") return PAPPL_LOGLEVEL_FATAL;
    if (level == "error") return PAPPL_LOGLEVEL_ERROR;
    if (level == "info") return PAPPL_LOGLEVEL_INFO;
    if (level == "debug") return PAPPL_LOGLEVEL_DEBUG;
    return PAPPL_LOGLEVEL_WARN;
}

// Server options as papplMainloop's own server takes them, plus
// "state-file" and "tls=no" (a private test server writes no keys).
pappl_system_t* CreateSystem(int numOptions, cups_option_t* options, void* data) {
    const char* port = cupsGetOption("server-port", numOptions, options);
    const char* spool = cupsGetOption("spool-directory", numOptions, options);
    const char* log = cupsGetOption("log-file", numOptions, options);
    const char* tls = cupsGetOption("tls", numOptions, options);
    pappl_soptions_t soptions = PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE |
                                PAPPL_SOPTIONS_WEB_LOG | PAPPL_SOPTIONS_WEB_SECURITY;
    if (tls != nullptr && std::string(tls) == "no") soptions |= PAPPL_SOPTIONS_NO_TLS;
    else soptions |= PAPPL_SOPTIONS_WEB_TLS;
    const int portNumber = port ? std::atoi(port) : 8000 + static_cast<int>(getuid() % 1000);
    pappl_system_t* system =
        papplSystemCreate(soptions, kName, portNumber, "_print,_universal", spool,
                          log ? log : "-", LogLevelOf(cupsGetOption("log-level", numOptions, options)),
                          cupsGetOption("auth-service", numOptions, options), false);
    if (system == nullptr) return nullptr;
    if (const char* host = cupsGetOption("server-hostname", numOptions, options))
        papplSystemSetHostName(system, host);
    if (const char* group = cupsGetOption("admin-group", numOptions, options))
        papplSystemSetAdminGroup(system, group);
    // A port that is taken must stop the server, not leave it deaf.
    if (!papplSystemAddListeners(system, cupsGetOption("listen-hostname", numOptions, options))) {
        papplSystemDelete(system);
        return nullptr;
    }
    papplSystemSetFooterHTML(system, "Norvex Printer Application");
    papplSystemSetPrinterDrivers(system, kModelCount, NorvexDrivers(), NorvexAutoAdd, TakeOneJobAtATime,
                                 NorvexDriverData, data);
    AddDocumentFilters(system);
    RefuseUnknownFormats(system);
    const std::string stateFile = StateFileOf(numOptions, options);
    papplSystemLoadState(system, stateFile.c_str());
    TakeOneJobAtATimeOnAll(system);
    SaveStateOnChanges(system, stateFile);
    return system;
}

}  // namespace

int main(int argc, char* argv[]) {
    // A filter that stops reading must fail our write, not end the server.
    std::signal(SIGPIPE, SIG_IGN);
    return papplMainloop(argc, argv, NORVEX_VERSION, nullptr, kModelCount, NorvexDrivers(),
                         NorvexAutoAdd, NorvexDriverData, nullptr, nullptr, CreateSystem, nullptr,
                         nullptr);
}
