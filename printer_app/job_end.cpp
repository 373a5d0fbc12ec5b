// The one way out of a job: its last message, its reasons, and no empty
// output file left by a job that printed nothing.
#include "job_end.h"

#include <array>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Ending {
    JobResult result;
    pappl_jreason_t reason;
    const char* text;  // "%s" stands for the detail
};

constexpr pappl_jreason_t kNoReason = PAPPL_JREASON_NONE;
constexpr pappl_jreason_t kFormat = PAPPL_JREASON_DOCUMENT_FORMAT_ERROR;
constexpr pappl_jreason_t kUnprintable = PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR;
constexpr pappl_jreason_t kSystem = PAPPL_JREASON_ABORTED_BY_SYSTEM;

constexpr std::array<Ending, 20> kEndings = {{
    {JobResult::Printed,            kNoReason,    "Printed %s."},
    {JobResult::Cancelled,          kNoReason,    "Cancelled."},
    {JobResult::UnknownFormat,      kFormat,      "The document is not PDF, PostScript, PWG or Apple raster, JPEG or PNG."},
    {JobResult::NotPdf,             kFormat,      "The document is not a PDF file."},
    {JobResult::NotPostScript,      kFormat,      "The document is not a PostScript file."},
    {JobResult::DamagedDocument,    kFormat,      "The document is damaged and cannot be printed."},
    {JobResult::NoPages,            kUnprintable, "The document has no pages to print."},
    {JobResult::NoPagesInRanges,    kUnprintable, "No page of the document is within the page ranges asked for."},
    {JobResult::TicketRefused,      kUnprintable, "The job cannot be printed as asked: %s."},
    {JobResult::TooMuchMemory,      kUnprintable, "The document needs too much memory to print."},
    {JobResult::BadRaster,          kFormat,      "The document's raster data is not valid."},
    {JobResult::ColourRaster,       kUnprintable, "The document is colour raster; the printer takes only grey."},
    {JobResult::ShortRaster,        kFormat,      "The document ended in the middle of a page."},
    {JobResult::Stalled,            kSystem,      "The job made no progress for %s seconds and was stopped."},
    {JobResult::DriverStopped,      kNoReason,    "The printer driver stopped unexpectedly."},
    {JobResult::DriverFailed,       kNoReason,    "The printer driver stopped: %s."},
    {JobResult::RendererStopped,    kNoReason,    "The document renderer stopped unexpectedly."},
    {JobResult::DeviceFailed,       kNoReason,    "Unable to send the job to the printer."},
    {JobResult::DriverNotStarted,   kSystem,      "Unable to start the printer driver: %s."},
    {JobResult::RendererNotStarted, kSystem,      "Unable to start the document renderer: %s."},
}};

constexpr bool InResultOrder() {
    for (std::size_t i = 0; i < kEndings.size(); ++i)
        if (kEndings[i].result != static_cast<JobResult>(i)) return false;
    return true;
}
static_assert(InResultOrder(), "one row per result, in the order of JobResult");
static_assert(kEndings.size() == static_cast<std::size_t>(JobResult::RendererNotStarted) + 1,
              "a row for every result");

std::string Fill(const char* text, const std::string& detail) {
    std::string sentence = text;
    if (const std::size_t at = sentence.find("%s"); at != std::string::npos) sentence.replace(at, 2, detail);
    return sentence;
}

// PAPPL's file device opens DIR/NAME.EXT for a job before any callback runs,
// NAME being the job's name with control, non-ASCII and '/' characters made
// '_'; it is removed again when still empty.
void RemoveEmptyOutput(pappl_job_t* job) {
    const char* uri = papplPrinterGetDeviceURI(papplJobGetPrinter(job));
    const char* name = papplJobGetName(job);
    if (uri == nullptr || name == nullptr || std::string(uri).compare(0, 5, "file:") != 0) return;
    char scheme[32], userpass[32], host[256], resource[1024];
    int port = 0;
    if (httpSeparateURI(HTTP_URI_CODING_ALL, uri, scheme, sizeof scheme, userpass, sizeof userpass, host,
                        sizeof host, &port, resource, sizeof resource) < HTTP_URI_STATUS_OK)
        return;
    std::string directory = resource, extension = "prn";
    if (const std::size_t query = directory.find('?'); query != std::string::npos) {
        const std::string options = directory.substr(query + 1);
        directory.erase(query);
        if (options.compare(0, 4, "ext=") == 0 && options.find('/') == std::string::npos)
            extension = options.substr(4);
    }
    struct stat info {};
    if (stat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return;
    std::string file = name;
    for (char& c : file) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < ' ' || byte == 0x7f || (byte & 0x80) != 0 || c == '/') c = '_';
    }
    const std::string path = directory + "/" + file + "." + extension;
    if (lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size == 0) unlink(path.c_str());
}

}  // namespace

bool CancelRequested(pappl_job_t* job) {
    return papplJobIsCanceled(job) && papplJobGetState(job) != IPP_JSTATE_ABORTED;
}

bool EndJobAs(pappl_job_t* job, JobResult result, const std::string& detail) {
    const Ending& ending = kEndings[static_cast<std::size_t>(result)];
    std::string sentence;
    if (result == JobResult::Printed) {
        const int pages = papplJobGetImpressionsCompleted(job);
        if (papplJobGetImpressions(job) < pages) papplJobSetImpressions(job, pages);
        sentence = Fill(ending.text, std::to_string(pages) + (pages == 1 ? " page" : " pages"));
    } else {
        sentence = Fill(ending.text, detail);
    }
    papplJobSetMessage(job, "%s", sentence.c_str());
    if (ending.reason != kNoReason) papplJobSetReasons(job, ending.reason, PAPPL_JREASON_NONE);
    const bool failed = result != JobResult::Printed && result != JobResult::Cancelled;
    papplLogJob(job, failed ? PAPPL_LOGLEVEL_ERROR : PAPPL_LOGLEVEL_INFO, "%s", sentence.c_str());
    if (result == JobResult::Printed) return true;
    // A job PAPPL 1.3.1 started after it was cancelled while pending.
    if (result == JobResult::Cancelled && !papplJobIsCanceled(job)) papplJobCancel(job);
    RemoveEmptyOutput(job);
    return false;
}
