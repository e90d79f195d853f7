// Inflate throughput beside zlib's inflate on the same streams, made by zlib
// at level 6 when the program starts, and the static Huffman decoder of LHA
// and ARJ beside them on the same data, packed by jlha (-lh5- and -lh7-)
// when it is installed.  Compare the medians of
//   bench_inflate --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive/extract/Decoder.h"
#include "archive/extract/decoders/Inflate.h"
#include "archive/format/LhaFormat.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kCorpusLimit = 8u << 20;

void appendFile(std::vector<std::uint8_t>& data, const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::vector<char> buf(1 << 16);
    while (data.size() < kCorpusLimit && f) {
        f.read(buf.data(), std::streamsize(buf.size()));
        const std::size_t n =
            std::min<std::size_t>(std::size_t(f.gcount()), kCorpusLimit - data.size());
        data.insert(data.end(), buf.begin(), buf.begin() + std::ptrdiff_t(n));
    }
}

// Regular files below the folders, in name order, until the corpus is full.
std::vector<std::uint8_t> gather(const std::vector<std::string>& roots,
                                 bool (*want)(const fs::path&)) {
    std::vector<fs::path> files;
    for (const auto& r : roots) {
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(
                 r, fs::directory_options::skip_permission_denied, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
            if (it->is_regular_file(ec) && !it->is_symlink(ec) && want(it->path()))
                files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    std::vector<std::uint8_t> data;
    for (const auto& p : files) {
        if (data.size() >= kCorpusLimit) break;
        appendFile(data, p);
    }
    return data;
}

bool isText(const fs::path& p) {
    const std::string n = p.filename().string();
    return n == "copyright" || p.parent_path().filename() == "common-licenses";
}
bool isAny(const fs::path&) {
    return true;
}

struct Corpus {
    std::vector<std::uint8_t> plain, packed;
};

std::vector<std::uint8_t> deflateRaw(const std::vector<std::uint8_t>& in) {
    z_stream z{};
    if (deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    std::vector<std::uint8_t> out(deflateBound(&z, uLong(in.size())));
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = uInt(in.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

const Corpus& corpus(bool text) {
    static const Corpus c[2] = {
        [] {
            Corpus b;
            b.plain = gather({"/usr/bin"}, isAny);
            b.packed = deflateRaw(b.plain);
            return b;
        }(),
        [] {
            Corpus t;
            t.plain = gather({"/usr/share/common-licenses", "/usr/share/doc"}, isText);
            t.packed = deflateRaw(t.plain);
            return t;
        }(),
    };
    return c[text ? 1 : 0];
}

// Decodes through the callbacks the extractors use; the sink copies into a
// flat buffer, as a file write would copy into the page cache.
void olmekInflate(benchmark::State& state, bool text) {
    const Corpus& c = corpus(text);
    std::vector<std::uint8_t> out(c.plain.size());
    Inflater inf;
    std::size_t inPos = 0, outPos = 0;
    inf.Input = [&](std::uint8_t* buf, std::size_t cap) -> std::ptrdiff_t {
        const std::size_t n = std::min(cap, c.packed.size() - inPos);
        std::memcpy(buf, c.packed.data() + inPos, n);
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
        if (inf.Inflate() != 0 || outPos != out.size()) state.SkipWithError("inflate failed");
        benchmark::DoNotOptimize(out.data());
    }
    if (out != c.plain) state.SkipWithError("output differs");
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(c.plain.size()));
    state.counters["ratio%"] = 100.0 * double(c.packed.size()) / double(c.plain.size());
}

// zlib at its best: the whole stream in, the whole output buffer given.
void zlibInflate(benchmark::State& state, bool text) {
    const Corpus& c = corpus(text);
    std::vector<std::uint8_t> out(c.plain.size());
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) state.SkipWithError("inflateInit2");
    for (auto _ : state) {
        inflateReset(&z);
        z.next_in = const_cast<Bytef*>(c.packed.data());
        z.avail_in = uInt(c.packed.size());
        z.next_out = out.data();
        z.avail_out = uInt(out.size());
        if (inflate(&z, Z_FINISH) != Z_STREAM_END) state.SkipWithError("zlib inflate failed");
        benchmark::DoNotOptimize(out.data());
    }
    inflateEnd(&z);
    if (out != c.plain) state.SkipWithError("output differs");
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(c.plain.size()));
}

// Many small members, as in an archive of source files: per-stream set-up
// and table building dominate.
struct SmallSet {
    std::vector<std::vector<std::uint8_t>> packed;
    std::size_t plainBytes = 0;
};

const SmallSet& smallSet() {
    static const SmallSet set = [] {
        SmallSet s;
        const Corpus& c = corpus(true);
        constexpr std::size_t kPiece = 4096;
        for (std::size_t at = 0; at + kPiece <= c.plain.size() && s.packed.size() < 512;
             at += kPiece) {
            const std::vector<std::uint8_t> piece(c.plain.begin() + std::ptrdiff_t(at),
                                                  c.plain.begin() + std::ptrdiff_t(at + kPiece));
            s.packed.push_back(deflateRaw(piece));
            s.plainBytes += kPiece;
        }
        return s;
    }();
    return set;
}

void BM_InflateSmall_Olmek(benchmark::State& state) {
    const SmallSet& set = smallSet();
    std::vector<std::uint8_t> out(8192);
    Inflater inf;
    const std::vector<std::uint8_t>* cur = nullptr;
    std::size_t inPos = 0, outPos = 0;
    inf.Input = [&](std::uint8_t* buf, std::size_t cap) -> std::ptrdiff_t {
        const std::size_t n = std::min(cap, cur->size() - inPos);
        std::memcpy(buf, cur->data() + inPos, n);
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
        for (const auto& p : set.packed) {
            cur = &p;
            inPos = outPos = 0;
            if (inf.Inflate() != 0) state.SkipWithError("inflate failed");
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(set.plainBytes));
}

void BM_InflateSmall_Zlib(benchmark::State& state) {
    const SmallSet& set = smallSet();
    std::vector<std::uint8_t> out(8192);
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) state.SkipWithError("inflateInit2");
    for (auto _ : state) {
        for (const auto& p : set.packed) {
            inflateReset(&z);
            z.next_in = const_cast<Bytef*>(p.data());
            z.avail_in = uInt(p.size());
            z.next_out = out.data();
            z.avail_out = uInt(out.size());
            if (inflate(&z, Z_FINISH) != Z_STREAM_END) state.SkipWithError("zlib inflate failed");
        }
        benchmark::DoNotOptimize(out.data());
    }
    inflateEnd(&z);
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(set.plainBytes));
}

void BM_InflateText_Olmek(benchmark::State& s) {
    olmekInflate(s, true);
}
void BM_InflateText_Zlib(benchmark::State& s) {
    zlibInflate(s, true);
}
void BM_InflateBinary_Olmek(benchmark::State& s) {
    olmekInflate(s, false);
}
void BM_InflateBinary_Zlib(benchmark::State& s) {
    zlibInflate(s, false);
}

// The member of a one-file LHA archive made by jlha with the given method
// digit; empty when jlha is missing or fails.
std::vector<std::uint8_t> lhaPacked(const std::vector<std::uint8_t>& plain, char method) {
    if (std::system("command -v jlha >/dev/null 2>&1") != 0) return {};
    std::string dir = (fs::temp_directory_path() / "olmeklhabenchXXXXXX").string();
    if (!mkdtemp(dir.data())) return {};
    {
        std::ofstream f(dir + "/data", std::ios::binary);
        f.write(reinterpret_cast<const char*>(plain.data()), std::streamsize(plain.size()));
    }
    const std::string cmd =
        "cd '" + dir + "' && jlha a1o" + std::string(1, method) + "q a.lzh data >/dev/null 2>&1";
    std::vector<std::uint8_t> arc, member;
    if (std::system(cmd.c_str()) == 0) appendFile(arc, dir + "/a.lzh");
    std::error_code ec;
    fs::remove_all(dir, ec);
    auto read = [&](std::int64_t pos, void* buf, std::size_t n) {
        if (pos < 0 || std::size_t(pos) + n > arc.size()) return false;
        std::memcpy(buf, arc.data() + pos, n);
        return true;
    };
    lha::Header h;
    if (lha::readHeader(read, 0, std::int64_t(arc.size()), h) == lha::Status::Ok &&
        h.NextPos() <= std::int64_t(arc.size()) && h.UnpackedSize == std::int64_t(plain.size()))
        member.assign(arc.begin() + h.DataPos(), arc.begin() + h.NextPos());
    return member;
}

// The archive is read whole: the corpus limit must not cut it.
const std::vector<std::uint8_t>& lhaMember(bool text, char method) {
    static std::map<std::pair<bool, char>, std::vector<std::uint8_t>> made;
    auto key = std::make_pair(text, method);
    auto it = made.find(key);
    if (it == made.end()) it = made.emplace(key, lhaPacked(corpus(text).plain, method)).first;
    return it->second;
}

class FlatSink : public dec::Sink {
public:
    explicit FlatSink(std::vector<std::uint8_t>& out) : out_(out) {}
    bool write(const std::uint8_t* p, std::size_t n) override {
        if (n > out_.size() - pos) return false;
        std::memcpy(out_.data() + pos, p, n);
        pos += n;
        return true;
    }
    std::size_t pos = 0;

private:
    std::vector<std::uint8_t>& out_;
};

// The decoder layer as the extractors drive it: 32 KB input blocks, the
// output through a sink that copies into a flat buffer.
void olmekLhaStatic(benchmark::State& state, bool text, char method) {
    const Corpus& c = corpus(text);
    const std::vector<std::uint8_t>& packed = lhaMember(text, method);
    if (packed.empty()) {
        state.SkipWithError("jlha not available");
        return;
    }
    std::vector<std::uint8_t> out(c.plain.size());
    auto decoder = dec::DecoderTable::instance().make(fmt::Codec::LhaStatic);
    dec::Params p;
    p.Size = c.plain.size();
    p.Variant = method == '5' ? 13 : method == '6' ? 15 : 16;
    for (auto _ : state) {
        dec::MemorySource src(packed.data(), packed.size());
        dec::Input in(src, packed.size());
        FlatSink sink(out);
        decoder->decode(in, sink, p);
        if (sink.pos != out.size()) state.SkipWithError("lha decode failed");
        benchmark::DoNotOptimize(out.data());
    }
    if (out != c.plain) state.SkipWithError("output differs");
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(c.plain.size()));
    state.counters["ratio%"] = 100.0 * double(packed.size()) / double(c.plain.size());
}

void BM_LhaStaticText_lh5(benchmark::State& s) {
    olmekLhaStatic(s, true, '5');
}
void BM_LhaStaticBinary_lh5(benchmark::State& s) {
    olmekLhaStatic(s, false, '5');
}
void BM_LhaStaticText_lh7(benchmark::State& s) {
    olmekLhaStatic(s, true, '7');
}

} // namespace

BENCHMARK(BM_InflateText_Olmek)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InflateText_Zlib)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InflateBinary_Olmek)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InflateBinary_Zlib)->Unit(benchmark::kMillisecond);

BENCHMARK(BM_LhaStaticText_lh5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LhaStaticBinary_lh5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LhaStaticText_lh7)->Unit(benchmark::kMillisecond);

BENCHMARK(BM_InflateSmall_Olmek)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InflateSmall_Zlib)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
