// norvexdecode: lists, checks and shows the pages of a Norvex printer stream.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "input.h"
#include "norvexdecode.h"
#include "page_writer.h"

namespace {

constexpr int kExitMalformed = 1;
constexpr int kExitUsage = 2;

struct Args {
    Platform platform = PLATFORM_NONE;
    bool check = false;
    bool quiet = false;
    bool pnm = false;
    bool ink = false;
    std::string pagesDir;
    const char* input = nullptr;
};

void Usage(FILE* out) {
    std::fputs("usage: norvexdecode [--platform C|Z|M] [--check] [--quiet] [--pages DIR [--pbm]] [--ink] [FILE | -]\n"
               "  Lists the commands of a printer stream (FILE, or standard input), one per line.\n"
               "  --platform  the stream's platform, when its opening does not tell\n"
               "  --check     end with a summary line: platform, pages, status\n"
               "  --quiet     no listing\n"
               "  --pages DIR write each page as DIR/page-001.png, ... (--pbm: PBM, PGM for 2-bit pages)\n"
               "  --ink       one line per page: the box of its toner, \"ink: page=N x0,y0-x1,y1\" or \"none\"\n"
               "  Exit status: 0 well-formed stream, 1 malformed stream, 2 usage or file error.\n",
               out);
}

bool ParseArgs(int argc, char** argv, Args& args) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--check") {
            args.check = true;
        } else if (a == "--quiet") {
            args.quiet = true;
        } else if (a == "--ink") {
            args.ink = true;
        } else if (a == "--pbm") {
            args.pnm = true;
        } else if (a == "--pages" && i + 1 < argc) {
            args.pagesDir = argv[++i];
        } else if (a == "--platform" && i + 1 < argc) {
            const std::string p = argv[++i];
            if (p == "C") args.platform = PLATFORM_C;
            else if (p == "Z") args.platform = PLATFORM_Z;
            else if (p == "M") args.platform = PLATFORM_M;
            else return false;
        } else if ((a == "-" || a[0] != '-') && args.input == nullptr) {
            args.input = argv[i];
        } else {
            return false;
        }
    }
    return !(args.pnm && args.pagesDir.empty());
}

// The smallest box that holds every dot with toner, in dots from the top left.
std::string InkBox(const DecodedPage& page) {
    uint32_t x0 = page.width, y0 = page.height, x1 = 0, y1 = 0;
    const uint32_t dotsPerByte = 8 / static_cast<uint32_t>(page.bitsPerDot);
    for (uint32_t y = 0; y < page.height; ++y) {
        const uint8_t* row = page.bits.data() + static_cast<size_t>(y) * page.stride;
        uint32_t first = 0, last = page.stride;
        while (first < page.stride && row[first] == 0) ++first;
        if (first == page.stride) continue;
        while (row[last - 1] == 0) --last;
        for (uint32_t x = first * dotsPerByte; x < page.width && x < (first + 1) * dotsPerByte; ++x)
            if (DotValue(page, x, y) != 0) { x0 = std::min(x0, x); break; }
        for (uint32_t x = std::min(page.width, last * dotsPerByte); x-- > (last - 1) * dotsPerByte;)
            if (DotValue(page, x, y) != 0) { x1 = std::max(x1, x); break; }
        y0 = std::min(y0, y);
        y1 = y;
    }
    if (y0 == page.height) return "ink: page=" + std::to_string(page.index) + " none";
    return "ink: page=" + std::to_string(page.index) + " " + std::to_string(x0) + "," + std::to_string(y0) + "-" +
           std::to_string(x1) + "," + std::to_string(y1);
}

}  // namespace

int main(int argc, char** argv) {
    Args args;
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        Usage(stdout);
        return 0;
    }
    if (!ParseArgs(argc, argv, args)) {
        Usage(stderr);
        return kExitUsage;
    }
    InputBytes input;
    std::string error;
    if (!ReadInput(args.input, input, &error)) {
        std::fprintf(stderr, "norvexdecode: %s\n", error.c_str());
        return kExitUsage;
    }
    if (!args.pagesDir.empty() && mkdir(args.pagesDir.c_str(), 0777) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "norvexdecode: cannot create %s: %s\n", args.pagesDir.c_str(), std::strerror(errno));
        return kExitUsage;
    }

    DecodeOptions options;
    options.platform = args.platform;
    options.listing = args.quiet ? nullptr : stdout;
    options.keepBitmaps = false;  // each page is written as it ends, then dropped
    std::string writeError;
    std::vector<std::string> inkLines;
    if (!args.pagesDir.empty() || args.ink) {
        options.onPage = [&](const DecodedPage& page) {
            if (args.ink) inkLines.push_back(InkBox(page));
            if (args.pagesDir.empty()) return;
            const std::string path = args.pagesDir + "/" + PageFileName(page, args.pnm);
            std::string why;
            const bool ok = args.pnm ? WritePagePnm(path, page, &why) : WritePagePng(path, page, &why);
            if (!ok && writeError.empty()) writeError = why;
        };
    }
    const DecodeResult result = DecodeStream(input.data, input.size, options);
    for (const std::string& line : inkLines) std::printf("%s\n", line.c_str());
    if (args.check) std::printf("%s\n", FormatSummary(result).c_str());
    std::fflush(stdout);

    if (!result.ok()) {
        const DecodeError& first = result.errors.front();
        const size_t more = result.errors.size() - 1;
        std::fprintf(stderr, "norvexdecode: offset %zu: %s", first.offset, first.message.c_str());
        if (more > 0) std::fprintf(stderr, " (and %zu more problem%s)", more, more == 1 ? "" : "s");
        std::fputc('\n', stderr);
        return kExitMalformed;
    }
    if (!writeError.empty()) {
        std::fprintf(stderr, "norvexdecode: %s\n", writeError.c_str());
        return kExitUsage;
    }
    return 0;
}
