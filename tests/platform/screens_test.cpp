#include "platform/screens.h"

#include <gtest/gtest.h>

#include <QUuid>

namespace {

TEST(QtScreens, DescribesTheOffscreenScreenStably)
{
    const quorvel::platform::QtScreens screens;
    const auto first = screens.screens();
    ASSERT_FALSE(first.isEmpty());
    EXPECT_TRUE(first.first().isMain);
    for (qsizetype i = 1; i < first.size(); ++i)
        EXPECT_FALSE(first.at(i).isMain);
    for (const auto& screen : first) {
        EXPECT_NE(screen.displayNumber, 0u);
        EXPECT_EQ(screen.uuid, screen.uuid.toUpper());
        EXPECT_FALSE(QUuid::fromString(screen.uuid).isNull());
        EXPECT_GT(screen.frame.width(), 0);
        EXPECT_GE(screen.backingScale, 1.0);
    }
    const auto second = screens.screens();
    ASSERT_EQ(second.size(), first.size());
    EXPECT_EQ(second.first().uuid, first.first().uuid);
    EXPECT_EQ(second.first().displayNumber, first.first().displayNumber);
}

} // namespace
