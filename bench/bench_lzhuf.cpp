// The LZHUF (-lh1-) coder's throughput beside Inflate's (decoding the same
// text deflated by zlib at level 6) and zlib's own level-6 Deflate, on a
// 20 MB text corpus: /usr/share/common-licenses and /usr/include, files in
// name order, repeated until it is full.  jlha, the peer that writes LHA
// here, cannot be told to use lh1; bench/lha-writer.sh times it with lh5.
//   bench_lzhuf --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

#include "archive/extract/decoders/Inflate.h"
#include "archive/writers/Lzhuf.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kCorpusSize = 20000000;

const Bytes& corpus() {
    static const Bytes data = [] {
        std::vector<fs::path> files;
        for (const char* root : {"/usr/share/common-licenses", "/usr/include"}) {
            std::error_code ec;
            for (auto it = fs::recursive_directory_iterator(
                     root, fs::directory_options::skip_permission_denied, ec);
                 !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
                if (it->is_regular_file(ec) && !it->is_symlink(ec)) files.push_back(it->path());
        }
        std::sort(files.begin(), files.end());
        Bytes d;
        for (const auto& p : files) {
            if (d.size() >= kCorpusSize) break;
            std::ifstream f(p, std::ios::binary);
            d.insert(d.end(), std::istreambuf_iterator<char>(f), {});
        }
        if (d.empty()) throw std::runtime_error("no text found for the corpus");
        const std::size_t n = d.size();
        while (d.size() < kCorpusSize) d.insert(d.end(), d.begin(), d.begin() + std::ptrdiff_t(n));
        d.resize(kCorpusSize);
        return d;
    }();
    return data;
}

Bytes deflate6(const Bytes& in) {
    z_stream z{};
    if (deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    Bytes out(deflateBound(&z, uLong(in.size())));
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = uInt(in.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// Input in 64 KB reads and output into a growing buffer, as the writer
// feeds the coder from a file and into the archive.
void BM_LzhufEncode(benchmark::State& state) {
    const Bytes& in = corpus();
    lzhuf::Encoder e;
    Bytes out;
    out.reserve(in.size());
    for (auto _ : state) {
        std::size_t at = 0;
        out.clear();
        e.encode(
            [&](std::uint8_t* buf, std::size_t n) {
                n = std::min({n, std::size_t{65536}, in.size() - at});
                std::memcpy(buf, in.data() + at, n);
                at += n;
                return n;
            },
            [&](const std::uint8_t* b, std::size_t n) { out.insert(out.end(), b, b + n); });
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(in.size()));
    state.counters["ratio%"] = 100.0 * double(out.size()) / double(in.size());
}

void BM_InflateDecode(benchmark::State& state) {
    const Bytes& plain = corpus();
    const Bytes packed = deflate6(plain);
    Bytes out(plain.size());
    Inflater inf;
    std::size_t inPos = 0, outPos = 0;
    inf.Input = [&](std::uint8_t* buf, std::size_t cap) -> std::ptrdiff_t {
        const std::size_t n = std::min(cap, packed.size() - inPos);
        std::memcpy(buf, packed.data() + inPos, n);
        inPos += n;
        return std::ptrdiff_t(n);
    };
    inf.Output = [&](const std::uint8_t* p, std::size_t n) {
        if (n > out.size() - outPos) return false;
        std::memcpy(out.data() + outPos, p, n);
        outPos += n;
        return true;
    };
    for (auto _ : state) {
        inPos = outPos = 0;
        if (inf.Inflate() != 0) state.SkipWithError("inflate failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(plain.size()));
    state.counters["ratio%"] = 100.0 * double(packed.size()) / double(plain.size());
}

void BM_ZlibDeflate6(benchmark::State& state) {
    const Bytes& in = corpus();
    std::size_t size = 0;
    for (auto _ : state) {
        const Bytes out = deflate6(in);
        size = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(in.size()));
    state.counters["ratio%"] = 100.0 * double(size) / double(in.size());
}

BENCHMARK(BM_LzhufEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InflateDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibDeflate6)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
