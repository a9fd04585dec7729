// The toolkit's floor for a painted window: one label in a window of its own, nothing else.
#include <QApplication>
#include <QLabel>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("Quorvel"));
    label.setAlignment(Qt::AlignCenter);
    label.resize(640, 480);
    label.show();
    return QApplication::exec();
}
