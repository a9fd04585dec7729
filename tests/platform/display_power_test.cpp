#include "platform/linux/display_powers.h"
#include "support/manual_clock.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

namespace {

using namespace quorvel::platform;
using namespace std::chrono_literals;

TEST(PolledDisplayPower, SignalsEachChangeOnceAndCountsAnUnreadableStateAsOn)
{
    quorvel::testing::ManualClock clock;
    quorvel::testing::ManualSleeper sleeper(clock);
    std::optional<bool> level = false;
    int looks = 0;
    auto power = makePolledDisplayPower(
        [&] {
            ++looks;
            return level;
        },
        sleeper, 3s);
    QSignalSpy changes(power.get(), &DisplayPower::displayPowerChanged);
    // A display that is already dark when the saver starts is dark from the first question.
    EXPECT_FALSE(power->isDisplayOn());

    sleeper.advance(3s);
    sleeper.advance(3s);
    EXPECT_EQ(changes.count(), 0);
    level = true;
    sleeper.advance(2s);
    EXPECT_EQ(changes.count(), 0);
    sleeper.advance(1s);
    ASSERT_EQ(changes.count(), 1);
    EXPECT_TRUE(changes.at(0).at(0).toBool());
    EXPECT_TRUE(power->isDisplayOn());

    level = false;
    sleeper.advance(3s);
    ASSERT_EQ(changes.count(), 2);
    EXPECT_FALSE(changes.at(1).at(0).toBool());

    // The server went away: nothing stays paused for a screen nobody can see is dark.
    level = std::nullopt;
    sleeper.advance(3s);
    ASSERT_EQ(changes.count(), 3);
    EXPECT_TRUE(power->isDisplayOn());
    const int looksWhenLost = looks;
    sleeper.advance(30s);
    EXPECT_EQ(looks, looksWhenLost);
}

} // namespace
