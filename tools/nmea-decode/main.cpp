// nmea-decode: runs an NMEA log through the parser the way the program's receive path does and
// prints the parser's state as JSON.
//
//   nmea-decode [--raw] [--every] [--bench] [--multi-gnss] [--stats] [--frames] [FILE]
//                                                       (standard input: FILE - or absent)
//
// Default: the input is read in chunks of 511 bytes, cut into lines by the line builder and each
// line is fed to Parse. --raw feeds each chunk to Parse as it is. --every prints the state after
// every Parse call, otherwise once at the end. --bench prints only the speed of line building
// and parsing. --multi-gnss decodes as the program does with MULTI_GNSS=1 and adds the extended
// state under the key "m_multiGnss". --stats prints instead what happened to the bytes:
// sentences per identifier, sentences dropped for a checksum mismatch or abandoned for an
// over-long identifier or body, rejected GSV sentences, bytes outside sentences and lines cut
// for passing the line buffer. --frames recognises binary frames between the lines as the
// program does with a receiver family set (with --stats: their counts per protocol). Exit status 0,
// or 2 for bad options and unreadable input; syntax errors in the stream are reported on standard
// error and do not change it. --help and
// --version exit 0.
#include "CommandLine.h"
#include "NmeaParser.h"
#include "NmeaStateJson.h"
#include "ReceivePath.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

// The program reads its port 511 bytes at a time.
constexpr size_t kChunk = 511;

struct Options {
    bool raw = false;
    bool every = false;
    bool bench = false;
    bool multiGnss = false;
    bool stats = false;
    bool frames = false;
    std::string file; // empty: standard input
};

// Returns whether to go on; when not, *status is the exit status (0 after --help or --version).
bool ParseArgs(int argc, char** argv, Options& opt, int* status) {
    CLI::App app("Runs an NMEA log through the program's receive path and prints the parser's "
                 "state as JSON.",
                 "nmea-decode");
    std::string file;
    app.add_flag("--raw", opt.raw, "Feed each 511-byte chunk to the parser as it is");
    app.add_flag("--every", opt.every, "Print the state after every parse, not once at the end");
    app.add_flag("--bench", opt.bench, "Print only the speed of line building and parsing");
    app.add_flag("--multi-gnss", opt.multiGnss,
                 "Decode as the program does with MULTI_GNSS=1 (adds \"m_multiGnss\")");
    app.add_flag("--stats", opt.stats, "Print what happened to the bytes instead (alone)");
    app.add_flag("--frames", opt.frames,
                 "Recognise UBX, RTCM 3, SkyTraq and SiRF frames between the lines");
    app.add_option("FILE", file, "The log (standard input when absent or -)")->type_name("");
    const CommandLineResult result = ParseCommandLine(app, Arguments(argc, argv));
    if (result.exit) {
        *status = PrintCommandLineResult(result);
        return false;
    }
    if (opt.stats && (opt.raw || opt.every || opt.bench || opt.multiGnss)) {
        std::fprintf(stderr, "nmea-decode: --stats goes alone\n%s", app.help().c_str());
        *status = 2;
        return false;
    }
    if (opt.frames && opt.raw) {
        std::fprintf(stderr, "nmea-decode: --frames needs the line path, not --raw\n%s",
                     app.help().c_str());
        *status = 2;
        return false;
    }
    opt.file = file.empty() || file == "-" ? std::string() : file;
    return true;
}

// The input, opened and closed with the object.
class Input {
public:
    explicit Input(const std::string& file) : m_name(file.empty() ? "standard input" : file) {
        if (file.empty()) {
            m_fp = stdin;
        } else {
            m_fp = std::fopen(file.c_str(), "rb");
            m_owned = m_fp != nullptr;
            m_error = m_fp ? 0 : errno;
        }
    }
    ~Input() {
        if (m_owned) {
            std::fclose(m_fp);
        }
    }
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;

    bool Ok() const { return m_fp != nullptr; }
    const std::string& Name() const { return m_name; }
    int Error() const { return m_error; }

    // Fills buf with up to size bytes (a pipe is read until the chunk is full or input ends).
    // Returns the count, or -1 on a read error.
    long Read(char* buf, size_t size) {
        errno = 0;
        const size_t n = std::fread(buf, 1, size, m_fp);
        if (n < size && std::ferror(m_fp)) {
            m_error = errno;
            return -1;
        }
        return static_cast<long>(n);
    }

private:
    std::string m_name;
    FILE* m_fp = nullptr;
    bool m_owned = false;
    int m_error = 0; // errno of the failed open or read
};

int InputError(const Input& in) {
    std::fprintf(stderr, "nmea-decode: cannot read %s: %s\n", in.Name().c_str(),
                 in.Error() != 0 ? std::strerror(in.Error()) : "read error");
    return 2;
}

class Decoder {
public:
    Decoder(bool every, bool multiGnss, bool frames) : m_every(every), m_multiGnss(multiGnss) {
        m_parser.m_bMultiGnss = multiGnss;
        m_receive.SetFrameRecognition(frames);
    }

    // One chunk through the receive path, each completed line to Parse.
    void Lines(const char* data, size_t count) {
        m_receive.Feed(data, count, 0, [this](const ReceivedLine& line) {
            if (line.parsed == 0) {
                SyntaxError(line.text, line.length);
            }
            AfterParse();
        });
    }

    // One chunk straight to Parse.
    void Raw(const char* data, size_t count) {
        if (m_parser.Parse(data, count) == 0) {
            SyntaxError(data, count);
        }
        AfterParse();
    }

    void Finish() {
        if (!m_every) {
            Print();
        }
    }

private:
    void SyntaxError(const char* text, size_t length) {
        std::fputs("[Syntax Error] ", stderr);
        std::fwrite(text, 1, length, stderr);
        if (length == 0 || text[length - 1] != '\n') {
            std::fputc('\n', stderr);
        }
    }

    void AfterParse() {
        if (m_every) {
            Print();
        }
    }

    void Print() {
        m_json.clear();
        AppendNmeaStateJson(m_json, m_parser, m_multiGnss);
        m_json.push_back('\n');
        std::fwrite(m_json.data(), 1, m_json.size(), stdout);
    }

    bool m_every;
    bool m_multiGnss;
    CNmeaParser m_parser;
    CReceivePath m_receive{m_parser};
    std::string m_json;
};

// --stats: the link's health. The counts come from watching the real line builder and framer
// (the receive path's own step, then the parser byte by byte, which Parse matches byte for
// byte), so they follow the program's rules rather than restating them.
// With --frames the receive path itself recognises the frames and counts the bytes outside;
// its lines are watched the same way.
class LinkStats {
public:
    explicit LinkStats(bool frames) : m_frames(frames) { m_framed.SetFrameRecognition(frames); }

    void Chunk(const char* data, size_t count) {
        if (m_frames) {
            m_framed.Feed(data, count, 0,
                          [this](const ReceivedLine& line) { Line(line.text, line.length); });
            return;
        }
        while (count > 0) {
            CLineBuilder& builder = m_receive.Builder();
            const bool inLine = builder.LineLength() > 0;
            const void* dollar = std::memchr(data, '$', count);
            if (!inLine) {
                // The LF after a sentence's CR belongs to the sentence.
                const size_t lf = m_lfDue && data[0] == '\n' ? 1 : 0;
                const size_t before =
                    dollar ? static_cast<size_t>(static_cast<const char*>(dollar) - data) : count;
                m_outside += before - lf;
            }
            m_lfDue = false;
            const size_t used = m_receive.AssembleOnly(data, count);
            if (used == 0) {
                // Nothing stored although a line was under way or began here: it overflowed.
                if ((inLine || dollar != nullptr) && builder.LineLength() == 0) {
                    ++m_cut;
                }
                return;
            }
            Line(builder.Line(), builder.TextLength());
            builder.Clear();
            m_lfDue = true;
            data += used;
            count -= used;
        }
    }

    void Print() const {
        std::string json = "{\"sentences\":{";
        const char* comma = "";
        for (const auto& [id, n] : m_sentences) {
            json += comma;
            json += "\"" + JsonEscaped(id) + "\":" + std::to_string(n);
            comma = ",";
        }
        json += "},\"checksum_errors\":" + std::to_string(m_checksum) +
                ",\"abandoned\":" + std::to_string(m_abandoned) +
                ",\"gsv_rejected\":" + std::to_string(m_gsvRejected) + ",\"bytes_outside\":" +
                std::to_string(m_frames ? m_framed.BytesOutside() : m_outside) +
                ",\"lines_cut\":" + std::to_string(m_frames ? m_framed.LinesCut() : m_cut);
        if (m_frames) {
            json += ",\"frames\":{";
            comma = "";
            for (const FrameProtocol p : {FrameProtocol::Ubx, FrameProtocol::Rtcm3,
                                          FrameProtocol::SkyTraq, FrameProtocol::Sirf}) {
                json += comma;
                json += "\"" + std::string(FrameProtocolName(p)) +
                        "\":" + std::to_string(m_framed.FrameCount(p));
                comma = ",";
            }
            json += "}";
        }
        json += "}\n";
        std::fwrite(json.data(), 1, json.size(), stdout);
    }

private:
    void Line(const char* text, size_t length) {
        for (size_t i = 0; i < length; ++i) {
            const int32_t state = m_parser.m_nState;
            const int32_t framed = m_parser.m_nSentenceCount;
            const auto c = static_cast<uint8_t>(text[i]);
            if (m_parser.ParseChar(c) == 0) {
                ++m_gsvRejected;
            }
            if (m_parser.m_nSentenceCount != framed) {
                ++m_sentences[m_parser.m_szSentenceId];
            } else if (m_parser.m_nState == 0 && (state == 1 || (state == 2 && c != '\r'))) {
                ++m_abandoned;
            } else if (state == 4 && m_parser.m_btRecvChecksum != m_parser.m_btChecksum) {
                ++m_checksum;
            }
        }
    }

    static std::string JsonEscaped(const std::string& text) {
        std::string out;
        for (const char ch : text) {
            const auto c = static_cast<unsigned char>(ch);
            if (c < 0x20 || c >= 0x7f || c == '"' || c == '\\') {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\u%04x", c);
                out += hex;
            } else {
                out += ch;
            }
        }
        return out;
    }

    CNmeaParser m_parser;
    CReceivePath m_receive{m_parser};
    bool m_frames;
    CNmeaParser m_scratch; // parses the lines of m_framed; m_parser watches them byte by byte
    CReceivePath m_framed{m_scratch};
    std::map<std::string, uint64_t> m_sentences; // by identifier, e.g. "GPGGA"
    uint64_t m_checksum = 0;
    uint64_t m_abandoned = 0;
    uint64_t m_gsvRejected = 0;
    uint64_t m_outside = 0;
    uint64_t m_cut = 0;
    bool m_lfDue = false; // a line has just ended at its CR
};

// Where each pass's result goes, so that the timed work cannot be left out.
volatile int32_t g_benchSink = 0;

// Line building and parsing of the whole input, in memory; returns the sentences framed.
int32_t BenchPass(const std::string& data, bool raw, bool frames) {
    CNmeaParser parser;
    CReceivePath receive(parser);
    receive.SetFrameRecognition(frames);
    for (size_t pos = 0; pos < data.size(); pos += kChunk) {
        const size_t count = std::min(data.size() - pos, kChunk);
        if (raw) {
            parser.Parse(data.data() + pos, count);
        } else {
            receive.Feed(data.data() + pos, count, 0, [](const ReceivedLine&) {});
        }
    }
    return parser.m_nSentenceCount;
}

int Bench(Input& in, bool raw, bool frames) {
    std::string data;
    std::vector<char> buf(1 << 16);
    long n;
    while ((n = in.Read(buf.data(), buf.size())) > 0) {
        data.append(buf.data(), static_cast<size_t>(n));
    }
    if (n < 0) {
        return InputError(in);
    }
    // Best of several passes, and at least about half a second in all.
    double best = 1e300;
    double total = 0;
    for (int pass = 0; pass < 5 || (total < 0.5 && pass < 1000); ++pass) {
        const auto t0 = std::chrono::steady_clock::now();
        g_benchSink = BenchPass(data, raw, frames);
        const std::chrono::duration<double> dt = std::chrono::steady_clock::now() - t0;
        best = std::min(best, dt.count());
        total += dt.count();
    }
    const double mbps = best > 0 ? static_cast<double>(data.size()) / best / 1e6 : 0.0;
    std::printf("bytes=%zu seconds=%.6f MBps=%.1f\n", data.size(), best, mbps);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    Options opt;
    int status = 0;
    if (!ParseArgs(argc, argv, opt, &status)) {
        return status;
    }
    Input in(opt.file);
    if (!in.Ok()) {
        return InputError(in);
    }
    if (opt.bench) {
        return Bench(in, opt.raw, opt.frames);
    }
    std::vector<char> chunk(kChunk);
    long n;
    if (opt.stats) {
        LinkStats stats(opt.frames);
        while ((n = in.Read(chunk.data(), kChunk)) > 0) {
            stats.Chunk(chunk.data(), static_cast<size_t>(n));
        }
        if (n < 0) {
            return InputError(in);
        }
        stats.Print();
        return std::fflush(stdout) == 0 ? 0 : 2;
    }
    Decoder decoder(opt.every, opt.multiGnss, opt.frames);
    while ((n = in.Read(chunk.data(), kChunk)) > 0) {
        if (opt.raw) {
            decoder.Raw(chunk.data(), static_cast<size_t>(n));
        } else {
            decoder.Lines(chunk.data(), static_cast<size_t>(n));
        }
    }
    if (n < 0) {
        return InputError(in);
    }
    decoder.Finish();
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "nmea-decode: cannot write standard output\n");
        return 2;
    }
    return 0;
}
