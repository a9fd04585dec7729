// A plug-in that declares a later revision of the module interface.
#include <QObject>
#include <QtPlugin>

class FutureModule : public QObject {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "com.quorvel.SaverModule/2")
};

#include "future_module.moc"
