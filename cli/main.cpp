#include "cli/Verb.h"

#include <cstdio>
#include <cstring>

#include "archive/core/Hooks.h"
#include "archive/extract/DecodedStream.h"
#include "cli/Ask.h"
#include "platform/DataFiles.h"
#include "platform/File.h"
#include "platform/Time.h"

namespace cli {

static std::vector<Verb>& table() {
    static std::vector<Verb> t;
    return t;
}

bool registerVerb(Verb verb) {
    table().push_back(std::move(verb));
    return true;
}

const std::vector<Verb>& verbs() {
    return table();
}

} // namespace cli

// Component message boxes become lines on the standard error; a question
// is asked on the terminal, and answered No when there is none.
static bool messageBox(const std::string& text, bool question) {
    std::string line = text;
    for (char& c : line)
        if (c == '\r') c = '\n';
    line = cli::printable(line, true);
    if (!question) {
        std::fprintf(stderr, "%s\n", line.c_str());
        return true;
    }
    if (!cli::interactive()) {
        std::fprintf(stderr, "%s [y/N] \n", line.c_str());
        return false;
    }
    return cli::askYes(line);
}

static void usage(FILE* out) {
    std::fprintf(out, "OLMEK 95 command-line archiver\n\nUsage:\n");
    for (const auto& v : cli::verbs())
        std::fprintf(out, "  olmek-cli %s\n      %s\n", v.usage.c_str(), v.summary.c_str());
    std::fprintf(out, "  olmek-cli --help\n      Show this help.\n");
    std::fprintf(out, "  olmek-cli --version\n      Show the version and the self-extractor stubs "
                      "found.\n");
}

// The version, then where the files read beside the program were found.
static int version() {
    std::printf("olmek-cli (OLMEK 95) %s\n", OLMEK_VERSION);
    for (const char* name : {plat::StubFileName, plat::NativeStubFileName}) {
        const std::string path = plat::findDataFile(name);
        std::printf("%s: %s\n", name, path.empty() ? "not found" : path.c_str());
    }
    return 0;
}

int main(int argc, char** argv) {
    plat::failWritesAtFileSizeLimit();
    plat::settleLocalTimeZone();
    SetMessageBoxHook(messageBox);
    dec::installTarballProbe();
    if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
        usage(argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    if (!std::strcmp(argv[1], "--version")) return version();
    std::vector<std::string> args(argv + 2, argv + argc);
    for (const auto& v : cli::verbs())
        if (v.name == argv[1]) return v.run(args);
    std::fprintf(stderr, "olmek-cli: unknown verb '%s'\n\n", argv[1]);
    usage(stderr);
    return 2;
}
