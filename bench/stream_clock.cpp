// Stands in for a printer at the end of a FIFO: takes one job per writer and
// notes when its bytes arrived, for the end-to-end benchmark (bench/cups_e2e.sh).
// For job N (1, 2, ...) it writes DIR/N.prn, then DIR/N.times, one line per
// read: "<nanoseconds since the epoch> <bytes received so far>".
// Usage: norvex_stream_clock FIFO DIR
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

int64_t NowNs() {
    timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    return int64_t{t.tv_sec} * 1000000000 + t.tv_nsec;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: norvex_stream_clock FIFO DIR\n");
        return 2;
    }
    const std::string dir = argv[2];
    std::vector<char> buffer(1 << 16);
    for (int job = 1;; ++job) {
        const int in = open(argv[1], O_RDONLY);  // waits for the next writer
        if (in < 0) {
            std::perror(argv[1]);
            return 1;
        }
        const std::string name = dir + "/" + std::to_string(job);
        std::FILE* out = std::fopen((name + ".prn").c_str(), "wb");
        std::vector<std::pair<int64_t, int64_t>> reads;
        int64_t total = 0;
        for (;;) {
            const ssize_t n = read(in, buffer.data(), buffer.size());
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            total += n;
            reads.emplace_back(NowNs(), total);
            if (out) std::fwrite(buffer.data(), 1, static_cast<size_t>(n), out);
        }
        close(in);
        if (out) std::fclose(out);
        // The times file last, under its own name once whole: its presence ends the job.
        std::FILE* times = std::fopen((name + ".part").c_str(), "w");
        if (!times) return 1;
        for (const auto& r : reads)
            std::fprintf(times, "%lld %lld\n", static_cast<long long>(r.first),
                         static_cast<long long>(r.second));
        std::fclose(times);
        std::rename((name + ".part").c_str(), (name + ".times").c_str());
    }
}
