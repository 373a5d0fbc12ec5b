// norvex-printer-app: the Norvex printers as driverless IPP Everywhere
// printers, each job printed by the rastertoNorvex filter.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include <pappl/pappl.h>

#include "access.h"
#include "command_socket.h"
#include "document_filters.h"
#include "document_formats.h"
#include "driver_data.h"
#include "drivers.h"
#include "job_admission.h"
#include "job_limits.h"
#include "server_options.h"
#include "state_saving.h"
#include "web_texts.h"

namespace {

constexpr char kName[] = "norvex-printer-app";

// Kept for PAPPL's callbacks for the life of the process.
ServerOptions gOptions;
AccessPolicy gPolicy;
DriverCallbackData gDriverCallbackData;
std::string gStateFile;

// Whether this process is the server: the other sub-commands that create a
// system ("drivers") only read the driver list from it.
bool gServing = false;

std::string StateFileOf(const ServerOptions& options) {
    if (!options.stateFile.empty()) return options.stateFile;
    if (getuid() == 0) return std::string("/var/lib/") + kName + ".state";
    if (const char* config = std::getenv("XDG_CONFIG_HOME")) return std::string(config) + "/" + kName + ".state";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "/tmp") + "/.config/" + kName + ".state";
}

// A server option that is wrong stops everything with one line naming it.
// Every printer, added, found or loaded: one job at a time, and a home page
// that says how it prints two-sided.
void SetUpPrinter(pappl_printer_t* printer, void* data) {
    TakeOneJobAtATime(printer, data);
    ShowPrinterAbilities(printer, data);
}

[[noreturn]] void Refuse(const std::string& why) {
    std::fprintf(stderr, "%s: %s\n", kName, why.c_str());
    std::exit(1);
}

pappl_system_t* CreateSystem(int numOptions, cups_option_t* options, void* data) {
    std::string error;
    if (!ReadServerOptions(numOptions, options, gOptions, error)) Refuse(error);
    gPolicy = AccessPolicy{gOptions.authService, gOptions.fileDeviceDirectory};
    SetJobLimits(gOptions.jobStallSeconds, gOptions.renderMemoryMiB);
    pappl_soptions_t soptions = PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE |
                                PAPPL_SOPTIONS_WEB_LOG | PAPPL_SOPTIONS_WEB_SECURITY;
    soptions |= gOptions.tls ? PAPPL_SOPTIONS_WEB_TLS : PAPPL_SOPTIONS_NO_TLS;
    const int port = gOptions.port != 0 ? gOptions.port : 8000 + static_cast<int>(getuid() % 1000);
    pappl_system_t* system =
        papplSystemCreate(soptions, kName, port, "_print,_universal",
                          gOptions.spoolDirectory.empty() ? nullptr : gOptions.spoolDirectory.c_str(),
                          gOptions.logFile.c_str(), gOptions.logLevel, gOptions.authService.c_str(), false);
    if (system == nullptr) Refuse("Unable to create the server (see the log).");
    gDriverCallbackData = DriverCallbackData{&gPolicy, system};
    papplSystemSetPrinterDrivers(system, kModelCount, NorvexDrivers(), NorvexAutoAdd, SetUpPrinter,
                                 NorvexDriverData, &gDriverCallbackData);
    if (!gServing) return system;

    if (!gOptions.hostName.empty()) papplSystemSetHostName(system, gOptions.hostName.c_str());
    papplSystemSetAdminGroup(system, gOptions.adminGroup.c_str());
    SetAccessPolicy(system, gPolicy);
    if (!PrepareSocketDirectory(gOptions.socketDirectory.empty() ? kDefaultSocketDirectory
                                                                 : gOptions.socketDirectory,
                                kName, error))
        Refuse(error);
    // A port that is taken must stop the server, not leave it deaf.
    if (!papplSystemAddListeners(system, gOptions.listenHostName.empty() ? nullptr
                                                                         : gOptions.listenHostName.c_str()))
        Refuse("Unable to listen on port " + std::to_string(port) + " (see the log).");
    papplSystemSetFooterHTML(system, "Norvex Printer Application");
    AddDocumentFilters(system);
    AddWebTexts(system);
    RefuseUnknownFormats(system);
    gStateFile = StateFileOf(gOptions);
    papplSystemLoadState(system, gStateFile.c_str());
    RaiseStoredMargins(system);
    TakeOneJobAtATimeOnAll(system);
    SaveStateOnChanges(system, gStateFile);
    (void)data;
    return system;
}

// The sub-command PAPPL's main loop will run: the first word that is not an
// option or an option's value.
std::string SubcommandOf(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (arg[0] != '-') return arg;
        // -o, -d, -m, -u, -v ... take the next word unless it is attached.
        if (arg[1] != '\0' && arg[1] != '-' && arg[2] == '\0' && std::strchr("dhjmnouv", arg[1]) != nullptr) ++i;
    }
    return {};
}

}  // namespace

int main(int argc, char* argv[]) {
    // A filter that stops reading must fail our write, not end the server.
    std::signal(SIGPIPE, SIG_IGN);
    // A child bounded in file size gets EFBIG, not a core dump, past its bound.
    std::signal(SIGXFSZ, SIG_IGN);
    gServing = SubcommandOf(argc, argv) == "server";
    UseDefaultSocketDirectory();
    return papplMainloop(argc, argv, NORVEX_VERSION, nullptr, kModelCount, NorvexDrivers(),
                         NorvexAutoAdd, NorvexDriverData, nullptr, nullptr, CreateSystem, nullptr,
                         nullptr);
}
