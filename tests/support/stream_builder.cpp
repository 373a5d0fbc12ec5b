// Hand-built printer streams for the decoder's tests.
#include "support/stream_builder.h"

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "support/filter_runner.h"

extern "C" {
#include <jbig.h>
}

void Append(ByteVec& out, const ByteVec& bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }

void AppendText(ByteVec& out, const std::string& text) { out.insert(out.end(), text.begin(), text.end()); }

ByteVec Le16(uint32_t v) { return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)}; }
ByteVec Le32(uint32_t v) { return Cat({Le16(v), Le16(v >> 16)}); }
ByteVec Be16(uint32_t v) { return {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)}; }
ByteVec Be32(uint32_t v) { return Cat({Be16(v >> 16), Be16(v)}); }

ByteVec Cat(std::initializer_list<ByteVec> parts) {
    ByteVec out;
    for (const ByteVec& p : parts) Append(out, p);
    return out;
}

ByteVec ShortCmd(uint8_t code, const ByteVec& params) {
    ByteVec cmd = {0x0B, static_cast<uint8_t>(params.size() + 4), code};
    Append(cmd, params);
    uint8_t sum = 0;
    for (uint8_t b : cmd) sum = static_cast<uint8_t>(sum + b);
    cmd.push_back(static_cast<uint8_t>(-sum));
    return cmd;
}

ByteVec LongHeader(uint32_t length, uint32_t type, uint32_t paramCount) {
    return Cat({Be32(length), Be32(type), Be32(paramCount), Be16(12 * paramCount), {0x5A, 0x5A}});
}

ByteVec LongParam(uint16_t code, uint32_t value) {
    return Cat({Be32(12), Be16(code), {1, 0}, Be32(value)});
}

ByteVec RandomBitmap(uint32_t width, uint32_t height, uint32_t seed, int percentBlack) {
    std::mt19937 rng(seed);
    ByteVec bits(width / 8 * height, 0);
    for (uint32_t i = 0; i < width * height; ++i)
        if (static_cast<int>(rng() % 100) < percentBlack) bits[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
    return bits;
}

namespace {

void Collect(unsigned char* data, size_t len, void* out) {
    static_cast<ByteVec*>(out)->insert(static_cast<ByteVec*>(out)->end(), data, data + len);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

ByteVec JbigEncode(const ByteVec& bitmap, uint32_t width, uint32_t height, int order, int options, uint32_t l0,
                   int mx) {
    ByteVec out;
    ByteVec copy = bitmap;  // the encoder takes a non-const plane
    unsigned char* planes[1] = {copy.data()};
    jbg_enc_state state;
    jbg_enc_init(&state, width, height, 1, planes, Collect, &out);
    jbg_enc_layers(&state, 0);
    jbg_enc_lrange(&state, 0, -1);
    jbg_enc_options(&state, order, options, l0, mx, 0);
    jbg_enc_out(&state);
    jbg_enc_free(&state);
    return out;
}

DecoderRun RunDecoder(const std::vector<std::string>& args, const ByteVec& input) {
    TempDir scratch;
    const std::string outPath = scratch.File("stdout"), errPath = scratch.File("stderr");
    DecoderRun run;
    int feed[2];
    if (pipe(feed) != 0) return run;
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0) _exit(126);
        close(feed[1]);
        dup2(feed[0], 0);
        dup2(out, 1);
        dup2(err, 2);
        std::vector<char*> argv = {const_cast<char*>(NORVEXDECODE_BIN)};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(NORVEXDECODE_BIN, argv.data());
        _exit(127);
    }
    // Standard input is a pipe, as when a spooled job is piped into the decoder;
    // a decoder that stops reading early must not kill the test with SIGPIPE.
    close(feed[0]);
    void (*previous)(int) = signal(SIGPIPE, SIG_IGN);
    for (size_t done = 0; done < input.size();) {
        const ssize_t n = write(feed[1], input.data() + done, input.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    close(feed[1]);
    signal(SIGPIPE, previous);
    int status = 0;
    waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = ReadFile(outPath);
    run.err = ReadFile(errPath);
    return run;
}
