// A Qt plug-in of some other kind: loadable, but no screensaver module.
#include <QObject>
#include <QtPlugin>

class ForeignPlugin : public QObject {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.example.ImageFilter/1")
};

#include "foreign_plugin.moc"
