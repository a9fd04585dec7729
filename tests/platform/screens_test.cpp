#include "platform/screens.h"

#include <gtest/gtest.h>

#include <QUuid>

namespace {

TEST(QtScreens, DescribesTheOffscreenScreenStably)
{
    const quorvel::platform::QtScreens screens;
    const auto first = screens.screens();
    ASSERT_FALSE(first.isEmpty());
    for (qsizetype i = 0; i < first.size(); ++i) {
        EXPECT_EQ(first.at(i).isMain, i == 0);
        EXPECT_NE(first.at(i).displayNumber, 0u);
        EXPECT_EQ(first.at(i).uuid, first.at(i).uuid.toUpper());
        EXPECT_FALSE(QUuid::fromString(first.at(i).uuid).isNull());
        EXPECT_GT(first.at(i).frame.width(), 0);
        EXPECT_GE(first.at(i).backingScale, 1.0);
    }
    const auto second = screens.screens();
    EXPECT_EQ(second.first().uuid, first.first().uuid);
    EXPECT_EQ(second.first().displayNumber, first.first().displayNumber);
}

} // namespace
