// Ghostscript (-sDEVICE=cups, 8-bit grey) piped into the filter child, and
// what its end says about the document.
#include "document_filters.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "drivers.h"
#include "filter_options.h"
#include "filter_process.h"
#include "job_end.h"
#include "job_limits.h"

namespace {

constexpr char kGhostscript[] = "gs";

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
bool OutOfMemory(const ChildrenReport& report) {
    const std::string& text = report.rendererMessages;
    return text.find("VMerror") != std::string::npos || text.find("Last OS error: 12") != std::string::npos ||
           text.find("out of memory") != std::string::npos ||
           report.rendererPeak >= RenderMemoryLimit() / 4 * 3;
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
    if (OutOfMemory(report)) return JobResult::TooMuchMemory;
    if (WIFSIGNALED(gs.status)) return WTERMSIG(gs.status) == SIGPIPE ? filter : JobResult::RendererStopped;
    return JobResult::DamagedDocument;
}

bool RenderDocument(pappl_job_t* job, pappl_device_t* device, void* data) {
    const DocumentFormat& format = *static_cast<const DocumentFormat*>(data);
    // PAPPL 1.3.1 may still start a job that was cancelled while it waited:
    // its document is gone.
    const char* filename = papplJobGetFilename(job);
    if (filename == nullptr) return EndJobAs(job, JobResult::Cancelled);
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

    const int xdpi = options.printer_resolution[0] > 0 ? options.printer_resolution[0] : 600;
    const int ydpi = options.printer_resolution[1] > 0 ? options.printer_resolution[1] : xdpi;
    ChildCommand gs;
    gs.program = kGhostscript;
    // Its messages go to standard error, not into the raster the filter reads.
    gs.args = {kGhostscript, "-q", "-dBATCH", "-dNOPAUSE", "-dSAFER", "-sstdout=%stderr", "-sDEVICE=cups",
               "-r" + std::to_string(xdpi) + "x" + std::to_string(ydpi), "-dcupsColorSpace=18",
               "-dcupsBitsPerColor=8", "-dDEVICEWIDTHPOINTS=" + std::to_string(Points(options.media.size_width)),
               "-dDEVICEHEIGHTPOINTS=" + std::to_string(Points(options.media.size_length)), "-dFIXEDMEDIA",
               "-dNumCopies=" + std::to_string(options.copies > 0 ? options.copies : 1), "-sOutputFile=-",
               document};
    gs.memoryLimit = RenderMemoryLimit();
    const ScratchFolder scratch;
    if (scratch.path.empty()) return EndJobAs(job, JobResult::RendererNotStarted, std::strerror(errno));
    gs.environment = EnvironmentWith("TMPDIR=" + scratch.path);

    FilterHandle filter = StartFilter(job, device, *model, FilterOptionText(options, model->platform), &gs);
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
