// Installs the build with `cmake --install` into a temporary DESTDIR under
// the prefix /usr, as a distribution package does, and checks the installed
// files and programs.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "support/TempDir.h"
#include "support/ZipBuilder.h"

using testsupport::haveTool;
using testsupport::runOutput;
using testsupport::TempDir;

namespace {

std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string text(const std::string& path) {
    const auto bytes = testsupport::readFile(path);
    return std::string(bytes.begin(), bytes.end());
}

std::vector<std::string> lines(const std::string& s) {
    std::vector<std::string> out;
    std::istringstream in(s);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

bool contains(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

class Install : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dest_ = new TempDir;
        int status = -1;
        log_ = runOutput("DESTDIR=" + quote(dest_->path()) + " " + quote(OLMEK_CMAKE_COMMAND) +
                             " --install " + quote(OLMEK_BINARY_DIR) + " --prefix /usr 2>&1",
                         &status);
        status_ = status;
    }
    static void TearDownTestSuite() {
        delete dest_;
        dest_ = nullptr;
    }
    void SetUp() override { ASSERT_EQ(status_, 0) << log_; }

    static std::string usr(const std::string& rel) { return dest_->path() + "/usr/" + rel; }
    // Runs an installed program; its errors go to the output too.
    static std::string run(const std::string& program, const std::string& args, int* status) {
        return runOutput("cd " + quote(dest_->path()) + " && QT_QPA_PLATFORM=offscreen " +
                             quote(usr("bin/" + program)) + " " + args + " </dev/null 2>&1",
                         status);
    }
    // The manual page's text, uncompressed.
    static std::string manPage(const std::string& name) {
        const std::string plain = usr("share/man/man1/" + name);
        if (std::filesystem::exists(plain)) return text(plain);
        return runOutput("gzip -dc " + quote(plain + ".gz"));
    }
    // The verbs `olmek-cli --help` lists.
    static std::vector<std::string> verbs() {
        std::vector<std::string> out;
        for (const std::string& l : lines(run("olmek-cli", "--help", nullptr)))
            if (l.rfind("  olmek-cli ", 0) == 0 && l.size() > 12 && l[12] != '-')
                out.push_back(l.substr(12, l.find(' ', 12) - 12));
        return out;
    }

    static inline TempDir* dest_ = nullptr;
    static inline int status_ = -1;
    static inline std::string log_;
};

bool executable(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0111) == 0111;
}

// The pixel size a PNG file states.
std::pair<int, int> pngSize(const std::string& path) {
    const auto b = testsupport::readFile(path);
    if (b.size() < 24 || b[1] != 'P' || b[2] != 'N' || b[3] != 'G') return {0, 0};
    auto be32 = [&](std::size_t at) {
        return b[at] << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
    };
    return {be32(16), be32(20)};
}

TEST_F(Install, CommandLineFiles) {
    EXPECT_TRUE(executable(usr("bin/olmek-cli")));
    EXPECT_TRUE(std::filesystem::exists(usr("share/bash-completion/completions/olmek-cli")));
    EXPECT_TRUE(std::filesystem::exists(usr("share/doc/olmek95/copyright")));
    EXPECT_NE(manPage("olmek-cli.1").find(".TH OLMEK-CLI 1"), std::string::npos);
}

TEST_F(Install, CommandLineProgramRuns) {
    int status = -1;
    const auto version = lines(run("olmek-cli", "--version", &status));
    EXPECT_EQ(status, 0);
    ASSERT_FALSE(version.empty());
    EXPECT_EQ(version[0], std::string("olmek-cli (OLMEK 95) ") + OLMEK_VERSION);

    testsupport::writeFile(dest_->path() + "/a.zip",
                           ziptest::build({ziptest::stored("hello.txt", "hello, world\n")}));
    const std::string listing = run("olmek-cli", "l a.zip", &status);
    EXPECT_EQ(status, 0) << listing;
    EXPECT_NE(listing.find("hello.txt"), std::string::npos) << listing;
    EXPECT_NE(listing.find("Files: 1"), std::string::npos) << listing;

    // The exit codes the manual page states: usage 2, failure 1.
    run("olmek-cli", "", &status);
    EXPECT_EQ(status, 2);
    run("olmek-cli", "no-such-verb", &status);
    EXPECT_EQ(status, 2);
    run("olmek-cli", "l missing.zip", &status);
    EXPECT_EQ(status, 1);
}

TEST_F(Install, CommandLineProgramFindsInstalledStubs) {
    // The stubs the build installs, or stand-ins where it has none yet.
    const std::string stub = usr("share/olmek95/STUB.EXE");
    const std::string native = usr("libexec/olmek95/olmek-stub");
    for (const std::string& f : {stub, native})
        if (!std::filesystem::exists(f)) {
            std::filesystem::create_directories(std::filesystem::path(f).parent_path());
            testsupport::writeFile(f, "MZ stand-in");
        }
    int status = -1;
    const auto version = lines(run("olmek-cli", "--version", &status));
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(contains(version, "STUB.EXE: " + stub)) << testing::PrintToString(version);
    EXPECT_TRUE(contains(version, "olmek-stub: " + native)) << testing::PrintToString(version);
}

TEST_F(Install, ManualPageDocumentsEveryVerb) {
    const std::string page = manPage("olmek-cli.1");
    const auto found = verbs();
    EXPECT_GE(found.size(), 6u);
    for (std::string verb : found) {
        // roff writes a hyphen as "\-".
        std::string roff;
        for (char c : verb) roff += c == '-' ? std::string("\\-") : std::string(1, c);
        EXPECT_NE(page.find("\n.SS " + roff + "\n"), std::string::npos) << verb;
    }
    for (const char* code : {"\n.B 0\n", "\n.B 1\n", "\n.B 2\n"})
        EXPECT_NE(page.find(code), std::string::npos) << code;
}

TEST_F(Install, ManualPagesFormatWithoutWarnings) {
    if (!haveTool("man")) GTEST_SKIP() << "man is not installed";
    std::vector<std::string> pages = {"olmek-cli.1"};
    if (OLMEK_HAVE_GUI) pages.push_back("olmek.1");
    for (const std::string& name : pages) {
        std::string file = usr("share/man/man1/" + name);
        if (!std::filesystem::exists(file)) file += ".gz";
        int status = -1;
        const std::string out =
            runOutput("LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 "
                      "-Z " +
                          quote(file) + " 2>&1 >/dev/null",
                      &status);
        EXPECT_EQ(status, 0) << name;
        EXPECT_EQ(out, "") << name;
    }
}

TEST_F(Install, BashCompletionFollowsTheProgram) {
    if (!haveTool("bash")) GTEST_SKIP() << "bash is not installed";
    auto complete = [&](const std::string& words) {
        const std::string script =
            "PATH=" + quote(usr("bin")) + ":$PATH; cd " + quote(dest_->path()) + "; . " +
            quote(usr("share/bash-completion/completions/olmek-cli")) + "; COMP_WORDS=(" + words +
            "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _olmek_cli; printf '%s\\n' " +
            "\"${COMPREPLY[@]}\"";
        // printf prints one empty line for no candidates.
        auto out = lines(runOutput("bash -c " + quote(script) + " 2>&1"));
        out.erase(std::remove(out.begin(), out.end(), std::string()), out.end());
        return out;
    };
    const auto first = complete("olmek-cli ''");
    for (const std::string& verb : verbs()) EXPECT_TRUE(contains(first, verb)) << verb;
    EXPECT_TRUE(contains(first, "--version"));
    const auto options = complete("olmek-cli x -");
    for (const char* o : {"-d", "-j", "-p", "-y", "-n", "--max-size"})
        EXPECT_TRUE(contains(options, o)) << o;
    EXPECT_EQ(complete("olmek-cli encode ''"), (std::vector<std::string>{"uu", "xx", "b64"}));
    EXPECT_EQ(complete("olmek-cli encode -d usr ''").size(), 3u);
    // A folder after -d; files after the scheme.
    EXPECT_EQ(complete("olmek-cli x -d us"), std::vector<std::string>{"usr"});
    testsupport::writeFile(dest_->path() + "/b.txt", "b");
    EXPECT_TRUE(contains(complete("olmek-cli encode uu b"), "b.txt"));
    EXPECT_TRUE(complete("olmek-cli l --tsv -m ''").empty());
}

TEST_F(Install, DesktopProgramFiles) {
    if (!OLMEK_HAVE_GUI) GTEST_SKIP() << "the desktop program is not built";
    EXPECT_TRUE(executable(usr("bin/olmek")));
    EXPECT_NE(manPage("olmek.1").find(".TH OLMEK 1"), std::string::npos);
    for (int size : {16, 32, 48, 64, 128, 256}) {
        const std::string png = usr("share/icons/hicolor/" + std::to_string(size) + "x" +
                                    std::to_string(size) + "/apps/olmek95.png");
        EXPECT_EQ(pngSize(png), std::make_pair(size, size)) << png;
    }
    const std::string svg = text(usr("share/icons/hicolor/scalable/apps/olmek95.svg"));
    EXPECT_NE(svg.find("<svg "), std::string::npos);

    int status = -1;
    const std::string version = run("olmek", "--version", &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(version, std::string("olmek (OLMEK 95) ") + OLMEK_VERSION + "\n");
}

TEST_F(Install, DesktopEntryAndTypes) {
    if (!OLMEK_HAVE_GUI) GTEST_SKIP() << "the desktop program is not built";
    const std::string entry = usr("share/applications/olmek95.desktop");
    const std::string xml = usr("share/mime/packages/olmek95.xml");
    ASSERT_TRUE(std::filesystem::exists(entry));
    ASSERT_TRUE(std::filesystem::exists(xml));
    const std::string e = text(entry);
    EXPECT_NE(e.find("\nExec=olmek %f\n"), std::string::npos);
    EXPECT_NE(e.find("\nIcon=olmek95\n"), std::string::npos);
    // Every type the package defines is one the entry opens.
    for (const char* type : {"application/x-arc", "application/x-ha"}) {
        EXPECT_NE(text(xml).find(std::string("type=\"") + type + "\""), std::string::npos);
        EXPECT_NE(e.find(type + std::string(";")), std::string::npos) << type;
    }
    if (haveTool("desktop-file-validate")) {
        int status = -1;
        const std::string out =
            runOutput("desktop-file-validate " + quote(entry) + " 2>&1", &status);
        EXPECT_EQ(status, 0) << out;
        EXPECT_EQ(out, "");
    }
    if (haveTool("update-mime-database")) {
        TempDir mime;
        std::filesystem::create_directories(mime / "packages");
        std::filesystem::copy_file(xml, mime / "packages/olmek95.xml");
        int status = -1;
        const std::string out =
            runOutput("update-mime-database " + quote(mime.path()) + " 2>&1", &status);
        EXPECT_EQ(status, 0) << out;
        const std::string globs = text(mime / "globs2");
        EXPECT_NE(globs.find(":application/x-arc:*.arc"), std::string::npos) << globs;
        EXPECT_NE(globs.find(":application/x-ha:*.ha"), std::string::npos) << globs;
    }
}

} // namespace
