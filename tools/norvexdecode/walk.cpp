// Position, problems and the checks every platform's stream must pass at its end.
#include "walk.h"

#include <cstring>

#include "listing.h"

size_t Remaining(const Walk& w) { return w.pos < w.size ? w.size - w.pos : 0; }

bool BytesAt(const Walk& w, size_t offset, const uint8_t* bytes, size_t len) {
    return offset <= w.size && w.size - offset >= len && std::memcmp(w.data + offset, bytes, len) == 0;
}

void Problem(Walk& w, size_t offset, const std::string& message) {
    if (w.stopped) return;
    ListProblem(w.options.listing, offset, message);
    w.result.errors.push_back({offset, message});
    if (w.result.errors.size() >= w.options.maxErrors) {
        const std::string last = "too many problems; the walk stops here";
        ListProblem(w.options.listing, offset, last);
        w.result.errors.push_back({offset, last});
        w.stopped = true;
    }
}

void Stop(Walk& w, size_t offset, const std::string& message) {
    Problem(w, offset, message);
    w.stopped = true;
}

void List(Walk& w, size_t offset, const char* name, const std::string& fields) {
    ListItem(w.options.listing, offset, name, fields);
}

void FinishStream(Walk& w) {
    if (w.page.open) {
        Problem(w, w.size, Format("stream ends inside page %d (no page end)", w.page.page.index));
        ClosePage(w);
    }
    if (w.stopped) return;
    const bool longFraming = w.result.platform == PLATFORM_M;
    if (!w.docStarted)
        Problem(w, 0, longFraming ? "stream has no document start (START_DOC_CMD)"
                                  : "stream has no document start (job specification command)");
    if (!w.docEnded)
        Problem(w, w.size, longFraming ? "stream ends without the document end (END_DOC_CMD)"
                                       : "stream ends without the document end (reset and PJL end of job)");
}
