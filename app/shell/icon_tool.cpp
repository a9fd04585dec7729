// quorvel-icon OUT.png SIZE: writes the app's icon for the bundle at build time.
#include "app/shell/app_icon.h"

#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: quorvel-icon OUT.png SIZE\n");
        return 2;
    }
    const int size = QByteArray(argv[2]).toInt();
    if (size < 16 || size > 1024) {
        std::fprintf(stderr, "quorvel-icon: SIZE must be 16 to 1024\n");
        return 2;
    }
    if (!quorvel::app::drawAppIcon(size).save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "quorvel-icon: could not write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
