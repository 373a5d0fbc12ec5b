// PDF and PostScript as CUPS's own chain prints them: PostScript made PDF by
// ghostscript, the pages picked, turned and fitted to the sheet by
// cups-filters' pdftopdf, then ghostscript (-sDEVICE=cups, 8-bit grey) piped
// into the filter child; and what their ends say about the document.
#include "document_filters.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

#include "drivers.h"
#include "filter_options.h"
#include "filter_paths.h"
#include "filter_process.h"
#include "job_end.h"
#include "job_limits.h"

namespace {

constexpr char kGhostscript[] = "gs";
constexpr char kPdfToPdf[] = "/usr/lib/cups/filter/pdftopdf";

// A format ghostscript renders, and how its documents begin.
struct DocumentFormat {
    const char* mimeType;
    JobResult notThisFormat;
    bool (*looksRight)(const std::string& start);
};

// PDF readers, ghostscript among them, find the header within the first 1024 bytes.
bool LooksLikePdf(const std::string& start) { return start.find("%PDF-") != std::string::npos; }

// As CUPS types PostScript: "%!", after a Ctrl-D or a PJL job header, or the
// binary header of a DOS EPS file.
bool LooksLikePostScript(const std::string& start) {
    const std::string pjl = "\x1b%-12345X";
    return start.rfind("%!", 0) == 0 || start.rfind("\x04%!", 0) == 0 ||
           start.rfind("\xc5\xd0\xd3\xc6", 0) == 0 ||
           (start.rfind(pjl, 0) == 0 && start.find("%!") != std::string::npos);
}

constexpr DocumentFormat kPdf{"application/pdf", JobResult::NotPdf, LooksLikePdf};
constexpr DocumentFormat kPostScript{"application/postscript", JobResult::NotPostScript, LooksLikePostScript};

struct PrintOptions {
    pappl_pr_options_t* options;
    ~PrintOptions() { papplJobDeletePrintOptions(options); }
};

// A folder of ghostscript's own for its temporary files: one that is killed
// leaves them behind, and they go with the folder.
struct ScratchFolder {
    std::string path;
    ScratchFolder() {
        std::string pattern = std::string(papplGetTempDir()) + "/norvex-gs-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) path = pattern;
    }
    ~ScratchFolder() {
        if (path.empty()) return;
        if (DIR* folder = opendir(path.c_str())) {
            while (const dirent* entry = readdir(folder))
                if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                    unlinkat(dirfd(folder), entry->d_name, 0);
            closedir(folder);
        }
        rmdir(path.c_str());
    }
};

int Points(int hundredthsOfMillimetre) { return (hundredthsOfMillimetre * 72 + 1270) / 2540; }

// The first 1024 bytes of the document; false when it cannot be read.
bool ReadStart(const char* filename, std::string& start) {
    const int fd = open(filename, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char bytes[1024];
    const ssize_t got = read(fd, bytes, sizeof bytes);
    close(fd);
    if (got < 0) return false;
    start.assign(bytes, static_cast<std::size_t>(got));
    return true;
}

// Ghostscript reports running out of memory as a VMerror, or with ENOMEM as
// its last OS error; some allocations that fail make it crash instead, so
// one seen close to its bound counts too.
bool OutOfMemory(const std::string& text, std::size_t peak) {
    return text.find("VMerror") != std::string::npos || text.find("Last OS error: 12") != std::string::npos ||
           text.find("out of memory") != std::string::npos || peak >= RenderMemoryLimit() / 4 * 3;
}

// The job's result from both children: the one that failed first is the cause.
JobResult DocumentResult(const ChildrenReport& report, pappl_job_t* job) {
    const JobResult filter = report.result;
    if (filter == JobResult::Cancelled || filter == JobResult::Stalled || filter == JobResult::DeviceFailed)
        return filter;
    const Child& gs = report.renderer;
    if (ChildSucceeded(gs)) {
        // Ghostscript says "**** Error" of a document it could not open, and
        // renders no page of it.
        if (filter == JobResult::DriverFailed && papplJobGetImpressionsCompleted(job) == 0 &&
            report.rendererMessages.find("Error") != std::string::npos)
            return JobResult::DamagedDocument;
        return filter;
    }
    // A filter that crashed leaves ghostscript writing into a closed pipe.
    if (filter == JobResult::DriverStopped) return filter;
    if (OutOfMemory(report.rendererMessages, report.rendererPeak)) return JobResult::TooMuchMemory;
    if (WIFSIGNALED(gs.status)) return WTERMSIG(gs.status) == SIGPIPE ? filter : JobResult::RendererStopped;
    return JobResult::DamagedDocument;
}

off_t FileSize(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? info.st_size : 0;
}

// Runs a step that makes a file of the document before it is rendered
// (ghostscript's PDF of PostScript, pdftopdf's pages): its standard output
// into `path`, its messages into the scratch folder; stopped when the job is
// cancelled or makes no progress for the job stall time. Printed when it made
// the file, else why it did not.
JobResult RunToFile(pappl_job_t* job, ChildCommand command, const std::string& path) {
    const int out = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const std::string messagesPath = path + ".log";
    const int messages = open(messagesPath.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out < 0 || messages < 0) {
        for (int fd : {out, messages})
            if (fd >= 0) close(fd);
        return JobResult::RendererNotStarted;
    }
    command.output = out;
    command.errors = messages;
    command.memoryLimit = RenderMemoryLimit();
    command.fileSizeLimit = kJobFileBytes;
    Child child;
    const int error = SpawnChild(command, child);
    close(out);
    if (error != 0) {
        close(messages);
        return JobResult::RendererNotStarted;
    }
    // Progress is input read or output written, as for the job's other children.
    const auto stall = std::chrono::seconds(JobStallSeconds());
    auto lastProgress = std::chrono::steady_clock::now();
    long long lastRead = -1;
    off_t lastWritten = 0;
    std::optional<JobResult> stopped;
    std::size_t peak = 0;
    while (!ChildEnded(child)) {
        peak = std::max(peak, ChildMemory(child));
        const long long read = ChildBytesRead(child);
        const off_t written = FileSize(path);
        if (read != lastRead || written != lastWritten) lastProgress = std::chrono::steady_clock::now();
        lastRead = read;
        lastWritten = written;
        const auto deadline = lastProgress + stall;
        if (!stopped && CancelRequested(job)) stopped = JobResult::Cancelled;
        if (!stopped && std::chrono::steady_clock::now() > deadline) stopped = JobResult::Stalled;
        if (stopped) SignalChild(child, SIGKILL);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::string text(2048, '\0');
    const ssize_t got = pread(messages, text.data(), text.size(), 0);
    text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    close(messages);
    if (stopped) return *stopped;
    if (ChildSucceeded(child)) return JobResult::Printed;
    if (OutOfMemory(text, peak)) return JobResult::TooMuchMemory;
    if (WIFSIGNALED(child.status)) return JobResult::RendererStopped;
    return JobResult::DamagedDocument;
}

// The options pdftopdf reads: the sheet, its printable area (in points), the
// pages and their scaling. A PDF or PostScript page states its own
// orientation, so orientation-requested is not passed on (as IPP has it for
// such formats): a landscape page is turned to the sheet by pdftopdf.
std::string PdfToPdfOptions(const pappl_pr_options_t& options, const JobTicket& ticket) {
    std::string text = std::string("media=") + options.media.size_name;
    const auto margin = [&text](const char* name, int hundredths) {
        text += std::string(" ") + name + "=" + std::to_string(Points(hundredths));
    };
    margin("page-left", options.media.left_margin);
    margin("page-right", options.media.right_margin);
    margin("page-bottom", options.media.bottom_margin);
    margin("page-top", options.media.top_margin);
    if (!ticket.pageRanges.empty()) text += " page-ranges=" + PageListText(ticket);
    static constexpr std::pair<pappl_scaling_t, const char*> kScalings[] = {
        {PAPPL_SCALING_AUTO, "auto"}, {PAPPL_SCALING_AUTO_FIT, "auto-fit"}, {PAPPL_SCALING_FILL, "fill"},
        {PAPPL_SCALING_FIT, "fit"},   {PAPPL_SCALING_NONE, "none"}};
    for (const auto& [value, keyword] : kScalings)
        if (options.print_scaling == value) text += std::string(" print-scaling=") + keyword;
    return text;
}


// Ends the job for a step that did not make its file.
bool EndForStep(pappl_job_t* job, JobResult result, const char* program) {
    if (result == JobResult::Stalled) return EndJobAs(job, result, std::to_string(JobStallSeconds()));
    return EndJobAs(job, result, program);
}

bool RenderDocument(pappl_job_t* job, pappl_device_t* device, void* data) {
    const DocumentFormat& format = *static_cast<const DocumentFormat*>(data);
    // PAPPL 1.3.1 may still start a job that was cancelled while it waited,
    // beside the printer's job: its document is gone.
    const char* filename = papplJobGetFilename(job);
    if (filename == nullptr) {
        WaitUntilPrinterIdle(job);
        return EndJobAs(job, JobResult::Cancelled);
    }
    const std::string document = filename;
    std::string start;
    if (!ReadStart(document.c_str(), start))
        return EndJobAs(job, JobResult::RendererNotStarted, std::strerror(errno));
    if (!format.looksRight(start)) return EndJobAs(job, format.notThisFormat);

    const NorvexModel* model = ModelOfJob(job);
    PrintOptions print{papplJobCreatePrintOptions(job, 0, false)};
    if (model == nullptr || print.options == nullptr)
        return EndJobAs(job, JobResult::RendererNotStarted, "the job has no print options");
    const pappl_pr_options_t& options = *print.options;

    JobTicket ticket;
    std::string why;
    if (!ReadJobTicket(job, options, *model, ticket, why)) return EndJobAs(job, JobResult::TicketRefused, why);
    const ScratchFolder scratch;
    if (scratch.path.empty()) return EndJobAs(job, JobResult::RendererNotStarted, std::strerror(errno));
    const std::vector<std::string> environment = EnvironmentWith("TMPDIR=" + scratch.path);

    std::string pdf = document;
    if (&format == &kPostScript) {
        ChildCommand topdf;
        topdf.program = kGhostscript;
        pdf = scratch.path + "/document.pdf";
        topdf.args = {kGhostscript, "-q", "-dBATCH", "-dNOPAUSE", "-dSAFER", "-sstdout=%stderr",
                      "-sDEVICE=pdfwrite", "-sOutputFile=-", document};
        topdf.environment = environment;
        const JobResult made = RunToFile(job, topdf, pdf);
        if (made != JobResult::Printed) return EndForStep(job, made, kGhostscript);
    }
    ChildCommand pick;
    pick.program = kPdfToPdf;
    const std::string pages = scratch.path + "/pages.pdf";
    // Copies are the filter's: pdftopdf makes one.
    pick.args = {kPdfToPdf, std::to_string(papplJobGetID(job)), "guest", "document", "1",
                 PdfToPdfOptions(options, ticket), pdf};
    pick.environment = environment;
    pick.environment.push_back("PPD=" + PpdPath(*model));
    const JobResult picked = RunToFile(job, pick, pages);
    if (picked != JobResult::Printed) return EndForStep(job, picked, kPdfToPdf);
    if (FileSize(pages) == 0)
        return EndJobAs(job, ticket.pageRanges.empty() ? JobResult::NoPages : JobResult::NoPagesInRanges);

    ChildCommand gs;
    gs.program = kGhostscript;
    // Its messages go to standard error, not into the raster the filter reads.
    // Each page keeps the size pdftopdf gave it (the sheet, or the sheet
    // turned for a landscape page, which the filter turns back).
    gs.args = {kGhostscript, "-q", "-dBATCH", "-dNOPAUSE", "-dSAFER", "-sstdout=%stderr", "-sDEVICE=cups",
               "-r" + std::to_string(ticket.xdpi) + "x" + std::to_string(ticket.ydpi), "-dcupsColorSpace=18",
               "-dcupsBitsPerColor=8", "-dDEVICEWIDTHPOINTS=" + std::to_string(Points(options.media.size_width)),
               "-dDEVICEHEIGHTPOINTS=" + std::to_string(Points(options.media.size_length)),
               "-dNumCopies=" + std::to_string(ticket.copies), "-sOutputFile=-", pages};
    gs.memoryLimit = RenderMemoryLimit();
    gs.environment = environment;

    FilterHandle filter = StartFilter(job, device, *model, FilterOptionText(options, ticket, model->platform), &gs);
    if (filter == nullptr) return false;
    const ChildrenReport report = FinishFilter(*filter);
    return EndJobAs(job, DocumentResult(report, job), report.detail);
}

}  // namespace

void AddDocumentFilters(pappl_system_t* system) {
    for (const DocumentFormat* format : {&kPdf, &kPostScript})
        papplSystemAddMIMEFilter(system, format->mimeType, "image/pwg-raster", RenderDocument,
                                 const_cast<DocumentFormat*>(format));
}
