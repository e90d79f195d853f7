// Deflate compressor beside zlib (and libdeflate when its headers are at
// hand), on two 20 MiB corpora gathered from the machine at start-up:
//
//  text:   every regular file of /usr/share/common-licenses, then the man
//          pages of /usr/share/man/man1 (decompressed) up to 8 MiB, then the
//          files under /usr/include, each list in byte order of the path;
//  binary: the ELF files of /usr/bin in byte order of the path, at most the
//          first MiB of each, then those of /usr/lib/x86_64-linux-gnu.
//
// Both are cut to 20 MiB.  Each run prints the corpora's CRC-32 (so runs on
// different machines can be compared) and, at the end, a table of size and
// speed ratios against the zlib level each of ours is meant to beat.
#include <benchmark/benchmark.h>
#include <zlib.h>

#if __has_include(<libdeflate.h>)
#include <libdeflate.h>
#define OLMEK_HAVE_LIBDEFLATE 1
#endif

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "archive/core/Crc.h"
#include "archive/zip/Deflate.h"

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr std::size_t kCorpusSize = 20u << 20;

std::vector<fs::path> sortedFiles(const fs::path& dir, bool recursive) {
    std::vector<fs::path> out;
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return out;
    auto take = [&](const fs::directory_entry& e) {
        if (e.is_regular_file(ec) && !e.is_symlink(ec)) out.push_back(e.path());
    };
    if (recursive) {
        for (auto it = fs::recursive_directory_iterator(
                 dir, fs::directory_options::skip_permission_denied, ec);
             it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (ec) break;
            take(*it);
        }
    } else {
        for (const auto& e : fs::directory_iterator(dir, ec)) take(e);
    }
    std::sort(out.begin(), out.end(),
              [](const fs::path& a, const fs::path& b) { return a.string() < b.string(); });
    return out;
}

void appendFile(Bytes& dst, const fs::path& p, std::size_t limit, std::size_t maxPerFile) {
    std::ifstream f(p, std::ios::binary);
    std::vector<char> buf(std::min(maxPerFile, limit - dst.size()));
    f.read(buf.data(), static_cast<std::streamsize>(buf.size()));
    dst.insert(dst.end(), buf.begin(), buf.begin() + f.gcount());
}

void appendGzip(Bytes& dst, const fs::path& p, std::size_t limit) {
    gzFile g = gzopen(p.c_str(), "rb");
    if (!g) return;
    char buf[65536];
    int n;
    while (dst.size() < limit && (n = gzread(g, buf, sizeof buf)) > 0)
        dst.insert(dst.end(), buf, buf + std::min<std::size_t>(std::size_t(n), limit - dst.size()));
    gzclose(g);
}

const Bytes& textCorpus() {
    static const Bytes corpus = [] {
        Bytes b;
        for (const auto& p : sortedFiles("/usr/share/common-licenses", false))
            if (b.size() < kCorpusSize) appendFile(b, p, kCorpusSize, SIZE_MAX);
        for (const auto& p : sortedFiles("/usr/share/man/man1", false))
            if (b.size() < (8u << 20) && p.extension() == ".gz") appendGzip(b, p, 8u << 20);
        for (const auto& p : sortedFiles("/usr/include", true))
            if (b.size() < kCorpusSize) appendFile(b, p, kCorpusSize, SIZE_MAX);
        return b;
    }();
    return corpus;
}

bool isElf(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    char m[4] = {};
    f.read(m, 4);
    return f.gcount() == 4 && std::memcmp(m,
                                          "\x7f"
                                          "ELF",
                                          4) == 0;
}

const Bytes& binaryCorpus() {
    static const Bytes corpus = [] {
        Bytes b;
        for (const char* dir : {"/usr/bin", "/usr/lib/x86_64-linux-gnu"})
            for (const auto& p : sortedFiles(dir, false))
                if (b.size() < kCorpusSize && isElf(p)) appendFile(b, p, kCorpusSize, 1u << 20);
        return b;
    }();
    return corpus;
}

const Bytes& corpus(int which) {
    return which == 0 ? textCorpus() : binaryCorpus();
}

const char* corpusName(int which) {
    return which == 0 ? "text" : "binary";
}

// Raw Deflate decoding with zlib, to check every compressor's output once.
bool zlibRoundTrip(const Bytes& packed, const Bytes& original) {
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) return false;
    Bytes out(original.size() + 1);
    z.next_in = const_cast<Bytef*>(packed.data());
    z.avail_in = static_cast<uInt>(packed.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&z, Z_FINISH);
    const bool ok = rc == Z_STREAM_END && z.total_out == original.size() &&
                    std::memcmp(out.data(), original.data(), original.size()) == 0;
    inflateEnd(&z);
    return ok;
}

struct Result {
    double bytesPerSecond = 0;
    double size = 0;
};
std::map<std::string, Result>& results() {
    static std::map<std::string, Result> r;
    return r;
}

// Our compressor as the ZIP writer runs it: streaming input in 64 KiB
// reads, output through the 64 KiB buffer into a preallocated sink.
std::size_t olmekCompress(const Bytes& in, int level, Bytes& sink) {
    Deflater d(level, in.size());
    std::size_t pos = 0, out = 0;
    d.Input = [&](std::uint8_t* buf, std::size_t cap) {
        const std::size_t n = std::min(cap, in.size() - pos);
        std::memcpy(buf, in.data() + pos, n);
        pos += n;
        return n;
    };
    d.Output = [&](std::uint8_t* data, std::size_t n) {
        if (out + n > sink.size()) sink.resize(out + n);
        std::memcpy(sink.data() + out, data, n);
        out += n;
    };
    return static_cast<std::size_t>(d.Deflate());
}

std::size_t zlibCompress(const Bytes& in, int level, Bytes& sink) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    sink.resize(deflateBound(&z, static_cast<uLong>(in.size())));
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = sink.data();
    z.avail_out = static_cast<uInt>(sink.size());
    deflate(&z, Z_FINISH);
    const std::size_t n = z.total_out;
    deflateEnd(&z);
    return n;
}

#ifdef OLMEK_HAVE_LIBDEFLATE
std::size_t libdeflateCompress(const Bytes& in, int level, Bytes& sink) {
    libdeflate_compressor* c = libdeflate_alloc_compressor(level);
    sink.resize(libdeflate_deflate_compress_bound(c, in.size()));
    const std::size_t n =
        libdeflate_deflate_compress(c, in.data(), in.size(), sink.data(), sink.size());
    libdeflate_free_compressor(c);
    return n;
}
#endif

template <std::size_t (*Compress)(const Bytes&, int, Bytes&)>
void run(benchmark::State& state, const char* who) {
    const int which = static_cast<int>(state.range(0));
    const int level = static_cast<int>(state.range(1));
    const Bytes& in = corpus(which);
    Bytes sink(in.size() + in.size() / 8 + 4096);
    std::size_t n = Compress(in, level, sink);
    if (!zlibRoundTrip(Bytes(sink.begin(), sink.begin() + static_cast<std::ptrdiff_t>(n)), in)) {
        state.SkipWithError("output does not decode to the input");
        return;
    }
    for (auto _ : state) {
        n = Compress(in, level, sink);
        benchmark::DoNotOptimize(sink.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * in.size()));
    state.counters["size"] = static_cast<double>(n);
    state.counters["ratio%"] = 100.0 * static_cast<double>(n) / static_cast<double>(in.size());
    state.SetLabel(std::string(corpusName(which)) + " " + who + " " + std::to_string(level));
}

void BM_Olmek(benchmark::State& s) {
    run<olmekCompress>(s, "olmek");
}
void BM_Zlib(benchmark::State& s) {
    run<zlibCompress>(s, "zlib");
}
#ifdef OLMEK_HAVE_LIBDEFLATE
void BM_Libdeflate(benchmark::State& s) {
    run<libdeflateCompress>(s, "libdeflate");
}
#endif

// Many small members, as in a folder of source files: a fresh compressor
// for each 4 KiB piece of the first 8 MiB of a corpus.
template <std::size_t (*Compress)(const Bytes&, int, Bytes&)>
void runSmall(benchmark::State& state, const char* who) {
    const int which = static_cast<int>(state.range(0));
    const int level = static_cast<int>(state.range(1));
    const Bytes& all = corpus(which);
    std::vector<Bytes> pieces;
    for (std::size_t at = 0; at + 4096 <= std::min<std::size_t>(all.size(), 8u << 20); at += 4096)
        pieces.emplace_back(all.begin() + static_cast<std::ptrdiff_t>(at),
                            all.begin() + static_cast<std::ptrdiff_t>(at + 4096));
    Bytes sink(8192);
    std::size_t total = 0;
    for (auto _ : state) {
        total = 0;
        for (const Bytes& p : pieces) total += Compress(p, level, sink);
        benchmark::DoNotOptimize(sink.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * pieces.size() * 4096));
    state.counters["size"] = static_cast<double>(total);
    state.SetLabel(std::string(corpusName(which)) + "-4k " + who + " " + std::to_string(level));
}

void BM_OlmekSmall(benchmark::State& s) {
    runSmall<olmekCompress>(s, "olmek");
}
void BM_ZlibSmall(benchmark::State& s) {
    runSmall<zlibCompress>(s, "zlib");
}

void levels(benchmark::internal::Benchmark* b) {
    for (int which : {0, 1})
        for (int level : {1, 3, 5, 6, 9}) b->Args({which, level});
    b->Unit(benchmark::kMillisecond)->MinTime(0.5);
}

BENCHMARK(BM_Olmek)->Apply(levels);
BENCHMARK(BM_Zlib)->Apply(levels);
BENCHMARK(BM_OlmekSmall)->Apply(levels);
BENCHMARK(BM_ZlibSmall)->Apply(levels);
#ifdef OLMEK_HAVE_LIBDEFLATE
BENCHMARK(BM_Libdeflate)->Apply(levels);
#endif

// Keeps each run's speed and size for the closing table.
class Collector : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.error_occurred || r.run_type != Run::RT_Iteration) continue;
            // With repetitions, the best run stands for each: the machine
            // is shared, and slowdowns come from elsewhere.
            Result& res = results()[r.report_label];
            auto bps = r.counters.find("bytes_per_second");
            if (bps != r.counters.end())
                res.bytesPerSecond = std::max(res.bytesPerSecond, bps->second.value);
            auto sz = r.counters.find("size");
            if (sz != r.counters.end()) res.size = sz->second;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

void printSummary() {
    std::printf("\n%-22s %12s %10s\n", "run", "bytes", "MB/s");
    for (const auto& [label, r] : results())
        std::printf("%-22s %12.0f %10.1f\n", label.c_str(), r.size, r.bytesPerSecond / 1e6);
    std::printf("\nolmek against its zlib peer level (size: ours/theirs, lower is better;"
                " speed: ours/theirs, higher is better)\n");
    const std::pair<int, int> pairs[] = {{1, 1}, {3, 3}, {5, 6}, {9, 9}};
    for (std::string c : {"text", "binary", "text-4k", "binary-4k"}) {
        for (auto [ours, theirs] : pairs) {
            auto a = results().find(c + " olmek " + std::to_string(ours));
            auto z = results().find(c + " zlib " + std::to_string(theirs));
            if (a == results().end() || z == results().end()) continue;
            std::printf("  %-6s olmek %d vs zlib %d: size %.4f  speed %.2fx", c.c_str(), ours,
                        theirs, a->second.size / z->second.size,
                        a->second.bytesPerSecond / z->second.bytesPerSecond);
            auto l = results().find(c + " libdeflate " + std::to_string(theirs));
            if (l != results().end())
                std::printf("   (libdeflate %d: size %.4f speed %.2fx of zlib)", theirs,
                            l->second.size / z->second.size,
                            l->second.bytesPerSecond / z->second.bytesPerSecond);
            std::printf("\n");
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    for (int which : {0, 1})
        std::printf("%s corpus: %zu bytes, CRC-32 %08X\n", corpusName(which), corpus(which).size(),
                    crc32Of(corpus(which).data(), corpus(which).size()));
    for (int level : {1, 3, 5, 9})
        std::printf("compressor working set, level %d: %zu bytes\n", level,
                    Deflater::WorkingSetBytes(level));
    Collector reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printSummary();
    benchmark::Shutdown();
    return 0;
}
