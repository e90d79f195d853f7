// Extraction speed: the whole olmek-cli x process beside unzip -o -qq on the
// same archives (2000 small files; one 50 MB file), and, in process, the ZIP
// extractor's decode-only mode beside zlib inflating the same member.
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "archive/extract/UnZIP.h"
#include "platform/File.h"

namespace fs = std::filesystem;

namespace {

struct Work {
    std::string dir, many, one;
    ~Work() {
        std::error_code ec;
        if (!dir.empty()) fs::remove_all(dir, ec);
    }
};

// Builds both archives once with Info-ZIP zip; empty paths when zip is missing.
const Work& work() {
    static Work w = [] {
        Work v;
        if (std::system("command -v zip >/dev/null 2>&1") != 0) return v;
        std::string d = (fs::temp_directory_path() / "olmekxbenchXXXXXX").string();
        if (!mkdtemp(d.data())) std::abort();
        v.dir = d;
        fs::create_directories(d + "/many");
        fs::create_directories(d + "/one");
        std::mt19937 rng(7);
        std::vector<std::string> words;
        for (int i = 0; i < 3000; ++i) {
            std::string s;
            for (int k = 2 + static_cast<int>(rng() % 8); k > 0; --k)
                s += static_cast<char>('a' + rng() % 26);
            words.push_back(s);
        }
        for (int i = 0; i < 2000; ++i) {
            std::ofstream f(d + "/many/f" + std::to_string(i) + ".txt", std::ios::binary);
            std::size_t n = 200 + rng() % 3800, len = 0;
            while (len < n) {
                const std::string& s = words[rng() % words.size()];
                f << s << ' ';
                len += s.size() + 1;
            }
        }
        {
            std::ofstream f(d + "/one/big.bin", std::ios::binary);
            std::vector<char> block(65536);
            for (std::size_t total = 0; total < (50u << 20); total += block.size()) {
                if (rng() % 10 < 3) {
                    for (auto& c : block) c = static_cast<char>(rng());
                } else {
                    std::size_t k = 0;
                    while (k < block.size()) {
                        const std::string& s = words[rng() % words.size()];
                        for (char c : s)
                            if (k < block.size()) block[k++] = c;
                        if (k < block.size()) block[k++] = ' ';
                    }
                }
                f.write(block.data(), static_cast<std::streamsize>(block.size()));
            }
        }
        if (std::system(("cd '" + d + "/many' && zip -q -r ../many.zip .").c_str()) != 0 ||
            std::system(("cd '" + d + "/one' && zip -q ../one.zip big.bin").c_str()) != 0)
            std::abort();
        v.many = d + "/many.zip";
        v.one = d + "/one.zip";
        return v;
    }();
    return w;
}

std::string cliPath() {
    std::error_code ec;
    auto self = fs::read_symlink("/proc/self/exe", ec);
    return (self.parent_path().parent_path() / "cli" / "olmek-cli").string();
}

void runProcess(benchmark::State& state, const std::string& cmd) {
    for (auto _ : state)
        if (std::system(cmd.c_str()) != 0) state.SkipWithError(("failed: " + cmd).c_str());
}

void olmekX(benchmark::State& state, const std::string& archive, const char* out) {
    if (archive.empty()) return state.SkipWithError("zip missing");
    const std::string cli = cliPath();
    if (!fs::exists(cli)) return state.SkipWithError("olmek-cli not built");
    runProcess(state,
               cli + " x -y -d '" + work().dir + "/" + out + "' '" + archive + "' >/dev/null");
}

void unzipO(benchmark::State& state, const std::string& archive, const char* out) {
    if (archive.empty()) return state.SkipWithError("zip missing");
    if (std::system("command -v unzip >/dev/null 2>&1") != 0)
        return state.SkipWithError("unzip missing");
    runProcess(state, "unzip -o -qq '" + archive + "' -d '" + work().dir + "/" + out + "'");
}

void BM_Process_OlmekCliX_2000Files(benchmark::State& s) {
    olmekX(s, work().many, "o1");
}
void BM_Process_UnzipO_2000Files(benchmark::State& s) {
    unzipO(s, work().many, "u1");
}
void BM_Process_OlmekCliX_50MB(benchmark::State& s) {
    olmekX(s, work().one, "o2");
}
void BM_Process_UnzipO_50MB(benchmark::State& s) {
    unzipO(s, work().one, "u2");
}
BENCHMARK(BM_Process_OlmekCliX_2000Files)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Process_UnzipO_2000Files)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Process_OlmekCliX_50MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Process_UnzipO_50MB)->Unit(benchmark::kMillisecond);

// Decode-only extraction of the 50 MB member (CRC included).
void BM_UnZipTestOnly_50MB(benchmark::State& state) {
    if (work().one.empty()) return state.SkipWithError("zip missing");
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) cwd[0] = 0;
    for (auto _ : state) {
        TUnZIP z;
        z.SetArchiveFile(work().one);
        z.TestOnly = true;
        bool ok = false;
        z.OnEnd = [&](TObject*, const std::string&, bool pass) { ok = pass; };
        z.Extract();
        if (!ok) state.SkipWithError("CRC failed");
    }
    if (cwd[0] && chdir(cwd) != 0) state.SkipWithError("chdir");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * (50 << 20));
}
BENCHMARK(BM_UnZipTestOnly_50MB)->Unit(benchmark::kMillisecond);

// zlib inflating the same member's raw data, with its CRC.
void BM_ZlibInflate_50MB(benchmark::State& state) {
    if (work().one.empty()) return state.SkipWithError("zip missing");
    auto zip = plat::readWholeFile(work().one);
    if (!zip || zip->size() < 30) return state.SkipWithError("read failed");
    const std::uint8_t* h = zip->data();
    std::size_t start = 30 + (h[26] | h[27] << 8) + (h[28] | h[29] << 8);
    std::size_t packed = h[18] | h[19] << 8 | h[20] << 16 | static_cast<std::size_t>(h[21]) << 24;
    std::vector<std::uint8_t> out(1 << 16);
    for (auto _ : state) {
        z_stream zs{};
        inflateInit2(&zs, -15);
        zs.next_in = const_cast<Bytef*>(zip->data() + start);
        zs.avail_in = static_cast<uInt>(packed);
        uLong crc = crc32(0, nullptr, 0);
        int rc;
        do {
            zs.next_out = out.data();
            zs.avail_out = static_cast<uInt>(out.size());
            rc = inflate(&zs, Z_NO_FLUSH);
            crc = crc32(crc, out.data(), static_cast<uInt>(out.size() - zs.avail_out));
        } while (rc == Z_OK);
        inflateEnd(&zs);
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * (50 << 20));
}
BENCHMARK(BM_ZlibInflate_50MB)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
