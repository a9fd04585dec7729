// A small screensaver module for the loader tests: black views with a label. Built twice, as a
// module that speaks this host's interface and as one that claims a newer interface version.
#include "host/saver_module.h"

#include <QLabel>
#include <QObject>
#include <QVBoxLayout>
#include <QWidget>

#ifndef TEST_MODULE_VERSION
#define TEST_MODULE_VERSION 1
#endif

namespace {

using namespace quorvel::saver;

class TestViewController final : public SaverViewController {
public:
    ~TestViewController() override { delete view_; }
    QWidget* loadView(const QRect& frame, bool isPreview) override
    {
        view_ = new QWidget;
        view_->setAutoFillBackground(true);
        QPalette palette = view_->palette();
        palette.setColor(QPalette::Window, Qt::black);
        palette.setColor(QPalette::WindowText, Qt::white);
        view_->setPalette(palette);
        view_->resize(frame.size());
        auto* label
            = new QLabel(isPreview ? QStringLiteral("test module preview") : QStringLiteral("test module"), view_);
        label->setAlignment(Qt::AlignCenter);
        (new QVBoxLayout(view_))->addWidget(label);
        return view_;
    }
    QWidget* view() const override { return view_; }
    void startAnimation() override { }
    void stopAnimation() override { }

private:
    QWidget* view_ = nullptr;
};

class TestPrincipal final : public SaverPrincipal {
public:
    std::unique_ptr<SaverViewController> makeViewController() override
    {
        return std::make_unique<TestViewController>();
    }
    std::unique_ptr<SaverConfigurationController> makeConfigurationController() override { return nullptr; }
};

} // namespace

class TestModule : public QObject, public quorvel::saver::SaverModule {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QuorvelSaverModule_iid)
    Q_INTERFACES(quorvel::saver::SaverModule)
public:
    int interfaceVersion() const override { return TEST_MODULE_VERSION; }
    std::unique_ptr<SaverPrincipal> makePrincipal() override { return std::make_unique<TestPrincipal>(); }
};

#include "test_module.moc"
