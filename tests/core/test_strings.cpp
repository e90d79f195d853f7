#include "archive/core/StringResource.h"

#include <cstring>
#include <gtest/gtest.h>

TEST(StringResource, ReadsTheZipLibraryTable) {
    TStringResource r(&HInstance(), "ZL_STRINGS_ENGLISH");
    r.Open();
    EXPECT_EQ(r.GetString(1), "Cannot extract file - newer version required");
    EXPECT_EQ(r.GetString(14), "Insert disk number %d of the spanned disk set");
    EXPECT_EQ(r.GetString(28), "Invalid file - not a PKZip file");
    EXPECT_EQ(r.GetString(206), "VMS: request to write too many bytes [%d]");
    EXPECT_EQ(ZlMessage(23), "Failed CRC Check");
    // The table holds exactly the library's 78 messages.
    const auto* raw = HInstance().Find("ZL_STRINGS_ENGLISH");
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(std::memcmp(raw->data(), "STR0", 4), 0);
    EXPECT_EQ((*raw)[4] | (*raw)[5] << 8, 78);
}

TEST(StringResource, MissingIdsAndTheRaiseFlag) {
    TStringResource r(&HInstance(), "ZL_STRINGS_ENGLISH");
    EXPECT_EQ(r.GetString(99), "") << "opened on first use; missing gives empty";
    r.RaiseOnMissing = true;
    try {
        r.GetString(99);
        FAIL();
    } catch (const EStringResourceError& e) {
        EXPECT_STREQ(e.what(), "String not found: 99");
    }
}

TEST(StringResource, RefusesMissingAndForeignResources) {
    TResourceModule m;
    m.RawData["BAD"] = {'S', 'T', 'R', '1', 0, 0, 0, 0};
    m.RawData["SHORT"] = {'S', 'T', 'R', '0', 9, 0, 0, 0};
    try {
        TStringResource(&m, "BAD").Open();
        FAIL();
    } catch (const EStringResourceError& e) {
        EXPECT_STREQ(e.what(), "Invalid TPString resource");
    }
    EXPECT_THROW(TStringResource(&m, "SHORT").Open(), EStringResourceError)
        << "entries past the end";
    try {
        TStringResource(&m, "NOPE").Open();
        FAIL();
    } catch (const EStringResourceError& e) {
        EXPECT_STREQ(e.what(), "String resource not found: NOPE");
    }
}

TEST(StringResource, BufferVariantShortensToFit) {
    TResourceModule m;
    m.RawData["T"] = BuildStr0({{5, "Hello"}, {2, "Grüße"}});
    TStringResource r(&m, "T");
    char buf[4];
    EXPECT_STREQ(r.GetString(5, buf, sizeof buf), "Hel");
    char big[32];
    EXPECT_STREQ(r.GetString(2, big, sizeof big), "Grüße");
    char small[5];
    EXPECT_STREQ(r.GetString(2, small, sizeof small), "Grü") << "never splits a character";
    EXPECT_STREQ(r.GetString(7, big, sizeof big), "");
}
