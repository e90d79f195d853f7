// Listing a large ZIP directory: the lister alone at two sizes (the time per
// member must not grow with the count), and the whole olmek-cli l --tsv
// process next to unzip -l on the same archive.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "archive/core/Crc.h"
#include "archive/list/ArcLister.h"
#include "platform/File.h"

namespace {

void put16(std::vector<std::uint8_t>& v, std::uint32_t x) {
    v.push_back(static_cast<std::uint8_t>(x));
    v.push_back(static_cast<std::uint8_t>(x >> 8));
}
void put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
    put16(v, x & 0xFFFF);
    put16(v, x >> 16);
}

// Removes the archives made for the run when the program ends.
struct Made {
    std::map<int, std::string> paths;
    ~Made() {
        std::error_code ec;
        for (auto& [n, p] : paths)
            std::filesystem::remove_all(std::filesystem::path(p).parent_path(), ec);
    }
};

// A ZIP of `members` stored members of a few bytes each, in folders of 100.
std::string makeZip(int members) {
    static Made made;
    if (made.paths.count(members)) return made.paths[members];
    std::string dir = (std::filesystem::temp_directory_path() / "olmekbenchXXXXXX").string();
    if (!mkdtemp(dir.data())) std::abort();
    std::vector<std::uint8_t> local, central;
    for (int i = 0; i < members; ++i) {
        const std::string name =
            "folder" + std::to_string(i / 100) + "/member" + std::to_string(i) + ".txt";
        const std::string data = "data " + std::to_string(i);
        const std::uint32_t crc = crc32Of(data.data(), data.size());
        const auto offset = static_cast<std::uint32_t>(local.size());
        for (auto* v : {&local, &central}) {
            const bool c = v == &central;
            put32(*v, c ? 0x02014B50 : 0x04034B50);
            if (c) put16(*v, 0x0314);
            put16(*v, 20);
            put16(*v, 0);
            put16(*v, 0);
            put32(*v, 0x5A8C6000);
            put32(*v, crc);
            put32(*v, static_cast<std::uint32_t>(data.size()));
            put32(*v, static_cast<std::uint32_t>(data.size()));
            put16(*v, static_cast<std::uint32_t>(name.size()));
            put16(*v, 0);
            if (c) {
                put16(*v, 0);
                put16(*v, 0);
                put16(*v, 0);
                put32(*v, 0x81A40020);
                put32(*v, offset);
            }
            v->insert(v->end(), name.begin(), name.end());
            if (!c) v->insert(v->end(), data.begin(), data.end());
        }
    }
    std::vector<std::uint8_t> zip = local;
    zip.insert(zip.end(), central.begin(), central.end());
    put32(zip, 0x06054B50);
    put32(zip, 0);
    put16(zip, static_cast<std::uint32_t>(members & 0xFFFF));
    put16(zip, static_cast<std::uint32_t>(members & 0xFFFF));
    put32(zip, static_cast<std::uint32_t>(central.size()));
    put32(zip, static_cast<std::uint32_t>(local.size()));
    put16(zip, 0);
    const std::string path = dir + "/big.zip";
    if (!plat::writeWholeFile(path, zip.data(), zip.size())) std::abort();
    return made.paths[members] = path;
}

void BM_ListZipDirectory(benchmark::State& state) {
    const std::string path = makeZip(static_cast<int>(state.range(0)));
    std::int64_t total = 0;
    for (auto _ : state) {
        TArcLister l;
        l.OnRead = [&](TObject*, std::int64_t, int) { total += l.UnpackedSize; };
        l.SetArchiveFile(path);
        if (!l.Activate()) state.SkipWithError("listing failed");
    }
    benchmark::DoNotOptimize(total);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ListZipDirectory)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);

// The CLI sits beside the benchmarks in the build tree.
std::string cliPath() {
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return (self.parent_path().parent_path() / "cli" / "olmek-cli").string();
}

void runProcess(benchmark::State& state, const std::string& cmd) {
    for (auto _ : state)
        if (std::system(cmd.c_str()) != 0) state.SkipWithError(("failed: " + cmd).c_str());
}

void BM_Process_OlmekCliListTsv(benchmark::State& state) {
    const std::string cli = cliPath();
    if (!std::filesystem::exists(cli)) return state.SkipWithError("olmek-cli not built");
    runProcess(state, cli + " l --tsv " + makeZip(20000) + " >/dev/null");
}
BENCHMARK(BM_Process_OlmekCliListTsv)->Unit(benchmark::kMillisecond);

void BM_Process_UnzipL(benchmark::State& state) {
    if (std::system("command -v unzip >/dev/null 2>&1") != 0)
        return state.SkipWithError("unzip missing");
    runProcess(state, "unzip -l " + makeZip(20000) + " >/dev/null");
}
BENCHMARK(BM_Process_UnzipL)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
