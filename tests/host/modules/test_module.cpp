// A small screensaver module for the loader and process tests: plain black views. Built twice, as a
// module that speaks this host's interface and as one that claims a newer interface version.
#include "saver_module/saver_module.h"

#include <QObject>
#include <QWidget>

#ifndef TEST_MODULE_VERSION
#define TEST_MODULE_VERSION 1
#endif

namespace {

using namespace quorvel::saver;

class TestViewController final : public SaverViewController {
public:
    ~TestViewController() override { delete view_; }
    QWidget* loadView(const QRect& frame, bool) override
    {
        view_ = new QWidget;
        view_->setStyleSheet("background: black");
        view_->resize(frame.size());
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
