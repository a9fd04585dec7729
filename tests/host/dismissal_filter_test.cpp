// What wakes the screen: keys, clicks and real movement do; the first move and jitter do not.
#include "host/dismissal_filter.h"

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QWindow>

#include <optional>
#include <vector>

using namespace quorvel::saver;

namespace {

InputEvent move(int x, int y)
{
    return { InputKind::Move, QPoint(x, y) };
}

TEST(DismissalRules, FirstDismissingEvent)
{
    const InputEvent key { InputKind::Key, {} }, click { InputKind::Click, {} }, wheel { InputKind::Wheel, {} };
    const int limit = DismissalRules::kJitterPixels;
    const struct {
        const char* name;
        std::vector<InputEvent> events;
        std::optional<size_t> dismissesAt;
    } rows[] = {
        { "the synthetic first move alone", { move(500, 400) }, std::nullopt },
        { "jitter within a few pixels", { move(500, 400), move(503, 398), move(497, 404), move(500, 400) },
            std::nullopt },
        { "just past the jitter limit", { move(500, 400), move(500, 400 + limit + 1) }, 1 },
        { "slow drift adds up", { move(0, 0), move(3, 0), move(6, 0) }, 2 },
        { "a key before any move", { key }, 0 },
        { "a click after jitter", { move(10, 10), move(11, 11), click }, 2 },
        { "the wheel", { move(10, 10), wheel }, 1 },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        DismissalRules rules;
        std::optional<size_t> at;
        for (size_t i = 0; i < row.events.size() && !at; ++i)
            if (rules.dismisses(row.events[i]))
                at = i;
        EXPECT_EQ(at, row.dismissesAt);
    }
}

TEST(DismissalFilter, SignalsOnceAndSwallowsInputOfWindowsOnly)
{
    DismissalFilter filter;
    QSignalSpy dismissed(&filter, &DismissalFilter::dismissed);
    QWindow window;
    QObject notAWindow;
    const QPointF at(100, 100), near(102, 101);
    QMouseEvent first(QEvent::MouseMove, at, at, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QMouseEvent jitter(QEvent::MouseMove, near, near, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
    QEvent expose(QEvent::Expose);
    // The same event reaching a widget after its window must not count twice.
    EXPECT_FALSE(filter.eventFilter(&notAWindow, &press));
    EXPECT_TRUE(filter.eventFilter(&window, &first));
    EXPECT_TRUE(filter.eventFilter(&window, &jitter));
    EXPECT_EQ(dismissed.count(), 0);
    EXPECT_TRUE(filter.eventFilter(&window, &press));
    EXPECT_TRUE(filter.eventFilter(&window, &press));
    EXPECT_EQ(dismissed.count(), 1);
    EXPECT_FALSE(filter.eventFilter(&window, &expose)) << "non-input events pass";
}

} // namespace
