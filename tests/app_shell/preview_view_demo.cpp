// Shows a PreviewView in a window of its own, to look at it (nothing in the app places one).
#include "app/shell/preview_view.h"
#include "platform/clock.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    quorvel::platform::TimerSleeper sleeper;
    quorvel::app::PreviewView view(sleeper, quorvel::app::rainbowTitle(QStringLiteral("1.0.0"), QStringLiteral("1")));
    view.setWindowTitle(QStringLiteral("Quorvel Preview"));
    view.resize(900, 560);
    view.show();
    return application.exec();
}
