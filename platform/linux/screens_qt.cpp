#include "platform/screens.h"

#include <QCryptographicHash>
#include <QGuiApplication>
#include <QScreen>
#include <QSet>
#include <QUuid>
#include <QtEndian>

#include <cmath>

namespace quorvel::platform {

namespace {

// Namespace of our name-based display UUIDs; changing it changes every display's identity.
const QUuid kDisplayNamespace(QStringLiteral("{9a4c2e71-3b6d-4f08-8e15-c27d0b6a93f4}"));

QString identityText(const QScreen& screen)
{
    // Unit separators keep ("ab", "c") and ("a", "bc") apart.
    return screen.manufacturer() + QChar(0x1F) + screen.model() + QChar(0x1F) + screen.serialNumber() + QChar(0x1F)
        + screen.name();
}

quint32 displayNumberFor(const QString& identity)
{
    const QByteArray digest = QCryptographicHash::hash(identity.toUtf8(), QCryptographicHash::Sha256);
    const quint32 number = qFromBigEndian<quint32>(digest.constData());
    return number == 0 ? 1 : number;
}

ScreenDescription describe(const QScreen& screen, bool isMain)
{
    const QString identity = identityText(screen);
    ScreenDescription description;
    description.displayNumber = displayNumberFor(identity);
    description.uuid = QUuid::createUuidV5(kDisplayNamespace, identity).toString(QUuid::WithoutBraces).toUpper();
    description.frame = QRectF(screen.geometry());
    description.backingScale = screen.devicePixelRatio();
    description.pixelSize = QSizeF(screen.geometry().size()) * description.backingScale;
    description.isMain = isMain;
    description.refreshRate = static_cast<int>(std::lround(screen.refreshRate()));
    description.localizedName = screen.model().isEmpty() ? screen.name() : screen.model();
    return description;
}

} // namespace

QList<ScreenDescription> QtScreens::screens() const
{
    QList<ScreenDescription> result;
    const auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!app)
        return result;
    QScreen* primary = QGuiApplication::primaryScreen();
    if (primary)
        result.append(describe(*primary, true));
    for (QScreen* screen : QGuiApplication::screens())
        if (screen != primary)
            result.append(describe(*screen, false));

    // Two displays must never share a number; a clash (vanishingly rare) moves the later one on.
    QSet<quint32> used;
    for (auto& screen : result) {
        while (used.contains(screen.displayNumber) || screen.displayNumber == 0)
            ++screen.displayNumber;
        used.insert(screen.displayNumber);
    }
    return result;
}

} // namespace quorvel::platform
