// The texts against the tools everybody has: sharutils uudecode reads what
// TUUCode writes, TUUCode reads what uuencode and base64 write.
#include <gtest/gtest.h>

#include "archive/writers/UUCode.h"
#include "tests/support/TempDir.h"
#include "tests/writers/TextCodec.h"

using testsupport::haveTool;
using testsupport::readFile;
using testsupport::run;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

const std::size_t kSizes[] = {0, 1, 2, 3, 44, 45, 46, 56, 57, 58, 90, 1000, 1 << 20};

std::string q(const std::string& path) {
    return "'" + path + "'";
}

void encodeFile(const std::string& src, const std::string& dst, TAlgorithm a, TUnixCRLF eol) {
    TUUCode uu;
    uu.Algorithm = a;
    uu.InputFile = src;
    uu.OutputFile = dst;
    uu.UnixCRLF = eol;
    ASSERT_TRUE(uu.Execute());
}

// Decodes into `dir` and returns where the file went.
std::string decodeFile(const std::string& src, const std::string& dir, TAlgorithm a) {
    TUUCode uu;
    uu.Algorithm = a;
    uu.InputFile = src;
    uu.OutputDir = dir;
    uu.OnFileExists = [](TObject*, const std::string&, TDateTime, bool& accept) { accept = true; };
    EXPECT_TRUE(uu.Execute());
    return uu.OutputFile;
}

} // namespace

TEST(UUCodeInterop, SharutilsUudecodeReadsOurUuencodeAndBase64) {
    if (!haveTool("uudecode")) GTEST_SKIP() << "uudecode (sharutils) is not installed";
    TempDir tmp;
    for (std::size_t n : kSizes) {
        const auto data = texttest::randomBytes(n, static_cast<unsigned>(n));
        const std::string src = tmp / std::string("f").append(std::to_string(n));
        writeFile(src, data);
        for (TAlgorithm a : {uuencode, base64encode})
            for (TUnixCRLF eol : {LF, CRLF}) {
                // sharutils stops at a carriage return behind Base64 padding;
                // CRLF Base64 is for mail, whose readers take it.
                if (a == base64encode && eol == CRLF) continue;
                encodeFile(src, tmp / "t.txt", a, eol);
                const std::string out = tmp / "out";
                std::remove(out.c_str());
                ASSERT_EQ(run("uudecode -o " + q(out) + " " + q(tmp / "t.txt") + " 2>/dev/null"), 0)
                    << n << " " << int(a) << " " << int(eol);
                EXPECT_EQ(readFile(out), data) << n << " " << int(a) << " " << int(eol);
            }
    }
}

TEST(UUCodeInterop, OurDecodersRestoreUuencodeOutput) {
    if (!haveTool("uuencode")) GTEST_SKIP() << "uuencode (sharutils) is not installed";
    TempDir tmp;
    for (std::size_t n : kSizes) {
        const auto data = texttest::randomBytes(n, static_cast<unsigned>(n) + 100);
        const std::string src = tmp / "src.bin";
        writeFile(src, data);
        ASSERT_EQ(run("uuencode " + q(src) + " restored.bin > " + q(tmp / "t.uue")), 0);
        ASSERT_EQ(run("uuencode -m " + q(src) + " restored.b64 > " + q(tmp / "t.b64")), 0);
        EXPECT_EQ(readFile(decodeFile(tmp / "t.uue", tmp.path(), uudecode)), data) << n;
        EXPECT_EQ(readFile(decodeFile(tmp / "t.b64", tmp.path(), base64decode)), data) << n;
    }
}

TEST(UUCodeInterop, CoreutilsBase64BothWays) {
    if (!haveTool("base64")) GTEST_SKIP() << "base64 is not installed";
    TempDir tmp;
    const auto data = texttest::randomBytes(100000, 77);
    const std::string src = tmp / "src.bin";
    writeFile(src, data);

    TUUCode uu;
    uu.Algorithm = base64encode;
    uu.Headers = false;
    uu.InputFile = src;
    uu.OutputFile = tmp / "ours.b64";
    ASSERT_TRUE(uu.Execute());
    ASSERT_EQ(run("base64 -d " + q(tmp / "ours.b64") + " > " + q(tmp / "back")), 0);
    EXPECT_EQ(readFile(tmp / "back"), data);

    // Their line widths, including widths that split groups and none at all.
    for (const char* width : {"76", "64", "10", "0"}) {
        ASSERT_EQ(run(std::string("base64 -w ") + width + " " + q(src) + " > " + q(tmp / "theirs")),
                  0);
        uu.Algorithm = base64decode;
        uu.InputFile = tmp / "theirs";
        uu.OutputFile = tmp / "back";
        ASSERT_TRUE(uu.Execute());
        EXPECT_EQ(readFile(tmp / "back"), data) << width;
    }
}
