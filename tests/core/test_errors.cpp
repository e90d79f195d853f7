#include "archive/core/ArcRoot.h"
#include "archive/core/Hooks.h"

#include <gtest/gtest.h>

TEST(Errors, TextsAreFixed) {
    EXPECT_EQ(ErrorMessage(25102), "File is read-only");
    EXPECT_EQ(ErrorMessage(err::HeaderIdError), "Header ID error");
    EXPECT_EQ(ErrorMessage(25145), "Inconsistant local header");
    EXPECT_EQ(ErrorMessage(25181), "Open paran, but no close paran");
    EXPECT_EQ(ErrorMessage(26999), "Nothing to do");
    EXPECT_EQ(ErrorMessage(12345), "");
    EXPECT_EQ(ArcStringResource(26009), "TAR (*.tar)|*.tar");
    EXPECT_EQ(ArcStringResource(26008), "All_BlakHole  (*.bh ,*.exe)|*.bh;*.exe");
}

TEST(Errors, RaiseReportsThroughOnErrorThenThrows) {
    TZipCommon c;
    std::vector<std::string> seen;
    c.OnError = [&](TObject* s, const std::string& fn, const std::string& vol, int code) {
        EXPECT_EQ(s, &c);
        seen.push_back(fn + "|" + vol + "|" + std::to_string(code));
    };
    try {
        c.RaiseError("/data/archives/X.ZIP", err::BadFileHeader);
        FAIL() << "RaiseError returned";
    } catch (const E_RAISE& e) {
        EXPECT_STREQ(e.what(), "Bad file header");
        EXPECT_EQ(e.Code, 25108);
    }
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], "X.ZIP|0|25108") << "the handler sees the file-name part";

    c.ReportError("/a/b.arj", "3", err::CabNextVolume);
    EXPECT_EQ(seen.back(), "b.arj|3|25903");
}

TEST(Errors, WithoutHandlerOnlyRaises) {
    TZipCommon c;
    EXPECT_THROW(c.RaiseError("x", err::CrcError), E_RAISE);
    EXPECT_NO_THROW(c.ReportError("x", "0", err::CrcError));
}

TEST(Errors, DesignModeShowsAMessageBoxAndStillRaises) {
    std::vector<std::string> boxes;
    SetDesignMessageBoxHook([&](const std::string& t) { boxes.push_back(t); });
    TZipCommon c;
    c.Designing = true;
    bool handlerCalled = false;
    c.OnError = [&](TObject*, const std::string&, const std::string&, int) {
        handlerCalled = true;
    };
    EXPECT_THROW(c.RaiseError("C.ZIP", err::UnknownFileType), E_RAISE);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "C.ZIP\rUnknown file type.");
    EXPECT_FALSE(handlerCalled);
    SetDesignMessageBoxHook(nullptr);
}
