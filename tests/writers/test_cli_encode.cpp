// olmek-cli encode and decode as a user runs them, without a terminal.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/TempDir.h"
#include "tests/writers/TextCodec.h"

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

struct CliRun {
    int status = -1;
    std::string out, err;
};

class CliText : public ::testing::Test {
protected:
    void SetUp() override {
        cli_ = std::string(OLMEK_BINARY_DIR) + "/cli/olmek-cli";
        if (!fs::exists(cli_)) GTEST_SKIP() << "olmek-cli not built";
    }

    // Runs the program in the temporary folder, input from /dev/null.
    CliRun run(const std::string& args) {
        CliRun r;
        const std::string o = tmp / ".out", e = tmp / ".err";
        const std::string cmd = "cd '" + tmp.path() + "' && '" + cli_ + "' " + args +
                                " </dev/null >'" + o + "' 2>'" + e + "'";
        const int rc = std::system(cmd.c_str());
        r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
        auto a = readFile(o), b = readFile(e);
        r.out.assign(a.begin(), a.end());
        r.err.assign(b.begin(), b.end());
        return r;
    }
    std::string text(const std::string& path) {
        auto v = readFile(path);
        return std::string(v.begin(), v.end());
    }

    testsupport::TempDir tmp;

private:
    std::string cli_;
};

} // namespace

TEST_F(CliText, EncodesEachFileBesideItOrIntoDir) {
    writeFile(tmp / "Cats", std::string("Cats"));
    writeFile(tmp / "run.sh", std::string("#!/bin/sh\n"));
    fs::permissions(tmp / "run.sh", fs::perms(0755));
    CliRun r = run("encode xx Cats run.sh");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Cats.xxe: ok\nrun.sh.xxe: ok\n");
    EXPECT_EQ(text(tmp / "Cats.xxe"), "begin 0644 Cats\n2Eq3oQk\n+\nend\n");
    EXPECT_EQ(text(tmp / "run.sh.xxe").substr(0, 18), "begin 0755 run.sh\n");

    r = run("encode uu Cats -d texts");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "texts/Cats.uue: ok\n");
    r = run("encode b64 -d texts Cats");
    EXPECT_EQ(text(tmp / "texts/Cats.b64"), "begin-base64 0644 Cats\nQ2F0cw==\n====\n");
}

TEST_F(CliText, DecodeTellsTheEncodingAndRestoresTheNamedFile) {
    const auto data = texttest::randomBytes(3000, 8);
    for (auto s : {uucodec::Scheme::UU, uucodec::Scheme::XX, uucodec::Scheme::Base64}) {
        writeFile(tmp / "mail.txt", "Subject: your file\n\nHere it is.\n\n" +
                                        texttest::encode(data, s, true, false, 600, "report.pdf"));
        CliRun r = run("decode -y -d got mail.txt");
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "got/report.pdf: ok\n");
        EXPECT_EQ(readFile(tmp / "got/report.pdf"), data);
    }
    // Default folder: the text's own.
    fs::create_directories(tmp / "sub");
    writeFile(tmp / "sub/a.uue", std::string("begin 644 a.txt\n#86)C\n`\nend\n"));
    CliRun r = run("decode sub/a.uue");
    EXPECT_EQ(r.out, "sub/a.txt: ok\n");
    EXPECT_EQ(text(tmp / "sub/a.txt"), "abc");
}

TEST_F(CliText, ExistingFilesNeedYesWithoutATerminal) {
    writeFile(tmp / "a.txt", std::string("mine"));
    writeFile(tmp / "a.uue", std::string("begin 644 a.txt\n#86)C\n`\nend\n"));
    CliRun r = run("decode a.uue");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "./a.txt: skipped\n");
    EXPECT_EQ(text(tmp / "a.txt"), "mine");
    r = run("decode -y a.uue");
    EXPECT_EQ(r.out, "./a.txt: ok\n");
    EXPECT_EQ(text(tmp / "a.txt"), "abc");

    r = run("encode uu a.txt");
    EXPECT_EQ(r.out, "a.txt.uue: ok\n");
    writeFile(tmp / "a.txt", std::string("new"));
    r = run("encode uu a.txt");
    EXPECT_EQ(r.out, "a.txt.uue: skipped\n");
    EXPECT_EQ(text(tmp / "a.txt.uue"), "begin 0644 a.txt\n#86)C\n`\nend\n");
}

TEST_F(CliText, HostileNamesStayInsideAndBadTextFails) {
    fs::create_directories(tmp / "inbox");
    writeFile(tmp / "inbox/x.uue", std::string("begin 644 ../../.bashrc\n!80\n`\nend\n"));
    writeFile(tmp / "inbox/y.b64", std::string("begin-base64 644 /etc/passwd\nYQ==\n====\n"));
    CliRun r = run("decode inbox/x.uue inbox/y.b64");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "inbox/.bashrc: ok\ninbox/passwd: ok\n");
    EXPECT_FALSE(fs::exists(tmp / ".bashrc"));

    writeFile(tmp / "plain.txt", std::string("no text here\n"));
    writeFile(tmp / "cut.uue", std::string("begin 644 cut\nM"));
    r = run("decode plain.txt cut.uue");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "error: No begin line found (plain.txt)\n"
                     "error: The text ends before its end line (cut.uue)\n");
    EXPECT_FALSE(fs::exists(tmp / "cut"));
    r = run("decode missing.uue");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "error 25134: Error opening file (missing.uue)\n");
}

TEST_F(CliText, UsageErrors) {
    for (const char* args : {"encode", "encode uu", "encode zz a", "encode uu -q a", "decode"}) {
        CliRun r = run(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find("usage: olmek-cli"), std::string::npos) << args;
    }
}
