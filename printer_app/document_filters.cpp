// Ghostscript (-sDEVICE=cups, 8-bit grey) piped into the filter child.
#include "document_filters.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include "child_process.h"
#include "filter_options.h"
#include "filter_process.h"

namespace {

constexpr char kGhostscript[] = "gs";

struct PrintOptions {
    pappl_pr_options_t* options;
    ~PrintOptions() { papplJobDeletePrintOptions(options); }
};

int Points(int hundredthsOfMillimetre) { return (hundredthsOfMillimetre * 72 + 1270) / 2540; }

// The last lines ghostscript wrote, for the job's message.
std::string Tail(int fd) {
    char text[512];
    const off_t size = lseek(fd, 0, SEEK_END);
    const off_t start = size > static_cast<off_t>(sizeof text - 1) ? size - static_cast<off_t>(sizeof text - 1) : 0;
    const ssize_t got = pread(fd, text, sizeof text - 1, start);
    std::string tail(text, got > 0 ? static_cast<std::size_t>(got) : 0);
    while (!tail.empty() && (tail.back() == '\n' || tail.back() == ' ')) tail.pop_back();
    const std::size_t line = tail.rfind('\n');
    return line == std::string::npos ? tail : tail.substr(line + 1);
}

bool RenderDocument(pappl_job_t* job, pappl_device_t* device, void*) {
    pappl_printer_t* printer = papplJobGetPrinter(job);
    pappl_pr_driver_data_t data;
    papplPrinterGetDriverData(printer, &data);
    const NorvexModel& model = *static_cast<const NorvexModel*>(data.extension);
    PrintOptions print{papplJobCreatePrintOptions(job, 0, false)};
    const pappl_pr_options_t& options = *print.options;

    int xdpi = options.printer_resolution[0] > 0 ? options.printer_resolution[0] : 600;
    int ydpi = options.printer_resolution[1] > 0 ? options.printer_resolution[1] : xdpi;
    ChildCommand gs;
    gs.program = kGhostscript;
    gs.args = {kGhostscript, "-q", "-dBATCH", "-dNOPAUSE", "-dSAFER", "-sDEVICE=cups",
               "-r" + std::to_string(xdpi) + "x" + std::to_string(ydpi), "-dcupsColorSpace=18",
               "-dcupsBitsPerColor=8", "-dDEVICEWIDTHPOINTS=" + std::to_string(Points(options.media.size_width)),
               "-dDEVICEHEIGHTPOINTS=" + std::to_string(Points(options.media.size_length)), "-dFIXEDMEDIA",
               "-dNumCopies=" + std::to_string(options.copies > 0 ? options.copies : 1), "-sOutputFile=-",
               papplJobGetFilename(job)};

    int raster[2];
    if (!MakePipe(raster)) {
        papplJobSetMessage(job, "Unable to create a pipe: %s", std::strerror(errno));
        return false;
    }
    // Ghostscript's messages, kept in memory for the job's message.
    const int messages = memfd_create("gs-messages", MFD_CLOEXEC);
    gs.output = raster[1];
    gs.errors = messages;
    Child child;
    const int spawned = SpawnChild(gs, child);
    const pid_t gsPid = child.pid;
    close(raster[1]);
    if (spawned != 0) {
        close(raster[0]);
        if (messages >= 0) close(messages);
        papplJobSetMessage(job, "Unable to run ghostscript: %s", std::strerror(spawned));
        return false;
    }

    FilterHandle filter = StartFilter(job, device, model, FilterOptionText(options, model.platform),
                                      raster[0], true);
    if (filter == nullptr) kill(-gsPid, SIGTERM);
    int status = 0;
    while (waitpid(gsPid, &status, 0) < 0 && errno == EINTR) {
    }
    bool ok = filter != nullptr && FinishFilter(*filter);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        const std::string reason = messages >= 0 ? Tail(messages) : "";
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Ghostscript failed (status %d): %s", status, reason.c_str());
        papplJobSetMessage(job, "Unable to read the document: %s",
                           reason.empty() ? "ghostscript failed" : reason.c_str());
        ok = false;
    }
    if (messages >= 0) close(messages);
    return ok;
}

}  // namespace

void AddDocumentFilters(pappl_system_t* system) {
    papplSystemAddMIMEFilter(system, "application/pdf", "image/pwg-raster", RenderDocument, nullptr);
    papplSystemAddMIMEFilter(system, "application/postscript", "image/pwg-raster", RenderDocument, nullptr);
}
