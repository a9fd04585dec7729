#include "app/shell/appearance.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>

namespace quorvel::app {

QPalette darkPalette()
{
    QPalette palette;
    const QColor window(36, 36, 40);
    const QColor base(28, 28, 31);
    const QColor text(232, 232, 236);
    const QColor muted(150, 150, 158);
    const QColor accent(64, 140, 255);
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, window);
    palette.setColor(QPalette::ToolTipBase, window);
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::PlaceholderText, muted);
    palette.setColor(QPalette::Button, QColor(54, 54, 60));
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, Qt::white);
    palette.setColor(QPalette::Highlight, accent);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, accent.lighter(120));
    palette.setColor(QPalette::Light, QColor(70, 70, 76));
    palette.setColor(QPalette::Midlight, QColor(60, 60, 66));
    palette.setColor(QPalette::Mid, QColor(46, 46, 50));
    palette.setColor(QPalette::Dark, QColor(20, 20, 22));
    palette.setColor(QPalette::Shadow, Qt::black);
    for (const auto role : { QPalette::WindowText, QPalette::Text, QPalette::ButtonText })
        palette.setColor(QPalette::Disabled, role, muted);
    return palette;
}

void followDesktopAppearance(QApplication& application, platform::DesktopAppearance& appearance)
{
    const QString lightStyle = application.style() ? application.style()->name() : QString();
    const QPalette lightPalette = application.palette();
    const auto apply = [&application, lightStyle, lightPalette](platform::ColorScheme scheme) {
        if (scheme == platform::ColorScheme::dark) {
            // Fusion draws every control from the palette, so nothing stays light.
            application.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
            application.setPalette(darkPalette());
        } else {
            if (!lightStyle.isEmpty())
                application.setStyle(QStyleFactory::create(lightStyle));
            application.setPalette(lightPalette);
        }
    };
    apply(appearance.colorScheme());
    QObject::connect(&appearance, &platform::DesktopAppearance::colorSchemeChanged, &application, apply);
}

} // namespace quorvel::app
