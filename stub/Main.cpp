// The self-extractor: a program with a ZIP archive joined to its end, which
// extracts that archive into a folder the user names.
//
//   olmek-stub [-d FOLDER] [-y] [-p PASSWORD] [-l]
#include <cstdio>
#include <string>

#include "stub/ConsoleUi.h"
#include "stub/Os.h"
#include "stub/SfxArchive.h"

namespace {

constexpr const char* kTitle = "OLMEK 95 Self-Extractor";

void usage() {
    std::printf("Usage: [-d FOLDER] [-y] [-p PASSWORD] [-l]\n"
                "  -d FOLDER    extract into FOLDER (asked for when not given)\n"
                "  -y           replace existing files without asking\n"
                "  -p PASSWORD  password of encrypted members\n"
                "  -l           list the members and extract nothing\n");
}

// The folder proposed for extraction: beside the program, named after it.
std::string proposedFolder(const std::string& self) {
    const std::size_t slash = self.find_last_of("/\\");
    std::string name = slash == std::string::npos ? self : self.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    if (name.empty()) name = "extracted";
    return (slash == std::string::npos ? std::string() : self.substr(0, slash + 1)) + name;
}

int run(const std::vector<std::string>& args) {
    std::string folder;
    sfx::Options options;
    bool list = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if ((a == "-d" || a == "-p") && i + 1 < args.size()) {
            (a == "-d" ? folder : options.Password) = args[++i];
        } else if (a == "-y") {
            options.OverwriteAll = true;
        } else if (a == "-l") {
            list = true;
        } else if (a == "-h" || a == "--help" || a == "/?") {
            usage();
            return 0;
        } else {
            std::fprintf(stderr, "Unknown option: %s\n", a.c_str());
            usage();
            return 2;
        }
    }

    std::printf("%s\n\n", kTitle);
    const std::string self = sfx::selfPath();
    sfx::SfxArchive archive;
    std::string error;
    if (self.empty() || !archive.open(self, error)) {
        std::fprintf(stderr, "%s\n",
                     self.empty() ? "The program cannot find its own file." : error.c_str());
        return 2;
    }
    const std::string comment = archive.comment();
    if (!comment.empty()) std::printf("%s\n\n", comment.c_str());

    if (list) {
        for (const sfx::Member& m : archive.members())
            std::printf("%15llu  %s\n", static_cast<unsigned long long>(m.Header.UnpackedSize),
                        m.Name.c_str());
        std::printf("%zu members\n", archive.members().size());
        return 0;
    }

    sfx::ConsoleUi ui;
    if (folder.empty()) {
        const std::string proposed = proposedFolder(self);
        auto answer = ui.ask("Extract " + std::to_string(archive.members().size()) +
                             " members to folder [" + proposed + "]: ");
        if (!answer) {
            std::printf("Nothing extracted.\n");
            return 2;
        }
        folder = answer->empty() ? proposed : *answer;
    }

    auto target = sfx::makeTarget();
    if (!target->open(folder)) {
        std::fprintf(stderr, "%s: %s\n", folder.c_str(), target->lastError().c_str());
        return 2;
    }
    const sfx::Result r = archive.extractAll(*target, ui, options);
    std::printf("\n%d files and %d folders extracted to %s", r.Files, r.Folders, folder.c_str());
    if (r.Skipped) std::printf(", %d skipped", r.Skipped);
    if (r.Errors) std::printf(", %d failed", r.Errors);
    std::printf(".\n");
    return r.Errors ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    sfx::prepareConsole();
    const int rc = run(sfx::commandLine(argc, argv));
    std::fflush(stdout);
    sfx::waitBeforeClosing();
    return rc;
}
