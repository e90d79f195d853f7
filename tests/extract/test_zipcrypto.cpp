#include <gtest/gtest.h>

#include "archive/extract/ZipCrypto.h"

TEST(ZipCrypto, PlaceholderBuilds) {
    SUCCEED();
}
