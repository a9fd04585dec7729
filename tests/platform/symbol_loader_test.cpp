#include "platform/symbol_loader.h"

#include <gtest/gtest.h>

TEST(DynamicSymbolLoader, FindsSymbolsAndAnswersNullForWhatIsMissing)
{
    quorvel::platform::DynamicSymbolLoader loader;
    auto* length = reinterpret_cast<size_t (*)(const char*)>(loader.load("libc.so.6", "strlen"));
    ASSERT_NE(length, nullptr);
    EXPECT_EQ(length("four"), 4u);
    EXPECT_EQ(loader.load("libc.so.6", "SecTranslocateIsTranslocatedURL"), nullptr);
    EXPECT_EQ(loader.load("/System/Library/Frameworks/Security.framework/Security", "SecTranslocateIsTranslocatedURL"), nullptr);
    // An empty path would otherwise search the running program itself.
    EXPECT_EQ(loader.load(QString(), "main"), nullptr);
    EXPECT_EQ(loader.load("libc.so.6", ""), nullptr);
}
