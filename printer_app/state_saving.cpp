// When the state file is written: after administrative changes and at
// shutdown, never for a job alone.
//
// papplSystemSaveState holds the system read lock while it waits for each
// printer's read lock; a job PAPPL aborts while its client sends it (a
// streamed raster job refused as busy, an upload that breaks off) holds its
// printer's write lock while it waits for the system write lock (abort_job in
// PAPPL 1.3.1's job-ipp.c). Saved after every job, as PAPPL's usual save
// callback does, the two met under load and the server hung for good.
// Administrative changes are rare and made by a person. The cost: after a
// crash, job ids start again from the last saved value and the job history
// since then is lost.
#include "state_saving.h"

#include <atomic>
#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

// A settings page is authorized first and changes the settings after, and
// PAPPL's check for changes may run in between: a grant covers the changes of
// the seconds that follow it.
constexpr Clock::duration kGrantWindow = std::chrono::seconds(10);

// PAPPL's own announcements of administrative changes; the printing defaults
// and media of the web pages change without one, hence the grants.
constexpr pappl_event_t kAdministrativeEvents =
    PAPPL_EVENT_PRINTER_CREATED | PAPPL_EVENT_PRINTER_DELETED | PAPPL_EVENT_PRINTER_CONFIG_CHANGED |
    PAPPL_EVENT_SYSTEM_CONFIG_CHANGED;

std::string gPath;
std::atomic<bool> gAdministrativeEvent{false};
// The time of the latest grant no save has covered yet; 0 when there is none.
std::atomic<Clock::rep> gGrantedAt{0};

Clock::rep Now() { return Clock::now().time_since_epoch().count(); }

// PAPPL calls this with its locks held: it only raises a flag.
void NoteEvent(pappl_system_t*, pappl_printer_t*, pappl_job_t*, pappl_event_t event, void*) {
    if (event & kAdministrativeEvents) gAdministrativeEvent = true;
}

// One save once a grant's window has passed covers whatever it authorized,
// however late PAPPL's check for changes came.
bool GrantWindowPassed() {
    Clock::rep granted = gGrantedAt.load();
    if (granted == 0 || Now() - granted < kGrantWindow.count()) return false;
    // A newer grant in the meantime keeps its own window.
    return gGrantedAt.compare_exchange_strong(granted, 0);
}

// PAPPL calls the save callback once more after its main loop ends, but only
// when something changed since its previous call. Setting a value to itself
// counts as a change: while job changes are unsaved, that last call comes,
// whether the loop ended on Shutdown-All-Printers or on SIGTERM (which no
// public call reveals).
void KeepLastCallComing(pappl_system_t* system) {
    papplSystemSetMaxLogSize(system, papplSystemGetMaxLogSize(system));
}

// PAPPL's save callback: it runs in the main loop after any change PAPPL
// counts, jobs included, with no lock held.
bool SaveIfDue(pappl_system_t* system, void*) {
    const bool administered = gAdministrativeEvent.exchange(false);
    const bool granted = GrantWindowPassed();
    if (administered || granted || !papplSystemIsRunning(system))
        return papplSystemSaveState(system, gPath.c_str());
    KeepLastCallComing(system);
    return true;
}

// PAPPL looks for changes and for a shutdown request only when its main loop
// wakes: on a new connection, a timer, or after 30 seconds. Every second, a
// change is saved and a shutdown begins without waiting for a client.
bool WakeMainLoop(pappl_system_t*, void*) { return true; }

}  // namespace

void SaveStateOnChanges(pappl_system_t* system, const std::string& path) {
    gPath = path;
    papplSystemSetEventCallback(system, NoteEvent, nullptr);
    papplSystemSetSaveCallback(system, SaveIfDue, nullptr);
    papplSystemAddTimerCallback(system, 0, 1, WakeMainLoop, nullptr);
}

void NoteAdministration() { gGrantedAt = Now(); }
