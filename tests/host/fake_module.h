#pragma once
// An in-process screensaver module that writes every call it gets into one shared journal, and
// can be told to fail at chosen places.

#include "saver_module/saver_module.h"

#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QWidget>

#include <stdexcept>

namespace quorvel::testing {

struct FakeModuleScript {
    QStringList journal;
    QSet<int> nullViewAt, throwingViewAt, throwingStartAt; // by controller index
    bool leaksViews = false; // controllers forget to delete their view
};

class FakeViewController final : public saver::SaverViewController {
public:
    FakeViewController(FakeModuleScript& script, int index)
        : script_(script)
        , index_(index)
    {
        note("make");
    }
    ~FakeViewController() override
    {
        note("destroy");
        if (!script_.leaksViews)
            delete view_.data();
    }
    QWidget* loadView(const QRect& frame, bool isPreview) override
    {
        note(QStringLiteral("load %1x%2%3").arg(frame.width()).arg(frame.height()).arg(isPreview ? " preview" : ""));
        if (script_.throwingViewAt.contains(index_))
            throw std::runtime_error("no GPU");
        if (script_.nullViewAt.contains(index_))
            return nullptr;
        view_ = new QWidget;
        view_->setObjectName(QStringLiteral("view%1").arg(index_));
        return view_;
    }
    QWidget* view() const override { return view_; }
    void startAnimation() override
    {
        note("start");
        if (script_.throwingStartAt.contains(index_))
            throw std::runtime_error("decoder gone");
    }
    void stopAnimation() override { note("stop"); }

private:
    void note(const QString& what) { script_.journal << QStringLiteral("%1 #%2").arg(what).arg(index_); }
    FakeModuleScript& script_;
    int index_;
    QPointer<QWidget> view_;
};

class FakeConfigurationController final : public saver::SaverConfigurationController {
public:
    explicit FakeConfigurationController(FakeModuleScript& script)
        : script_(script)
    {
        script_.journal << "make sheet";
    }
    ~FakeConfigurationController() override
    {
        script_.journal << "destroy sheet";
        delete view_.data();
    }
    QWidget* loadView(std::function<void()> dismiss) override
    {
        dismiss_ = std::move(dismiss);
        return view_ = new QWidget;
    }
    void pressOk() const { dismiss_(); } // what the sheet's OK button does
    QWidget* view() const { return view_; }

private:
    FakeModuleScript& script_;
    std::function<void()> dismiss_;
    QPointer<QWidget> view_;
};

class FakePrincipal final : public saver::SaverPrincipal {
public:
    explicit FakePrincipal(FakeModuleScript& script)
        : script_(script)
    {
    }
    ~FakePrincipal() override { script_.journal << "destroy principal"; }
    std::unique_ptr<saver::SaverViewController> makeViewController() override
    {
        return std::make_unique<FakeViewController>(script_, made_++);
    }
    std::unique_ptr<saver::SaverConfigurationController> makeConfigurationController() override
    {
        auto controller = std::make_unique<FakeConfigurationController>(script_);
        lastSheet = controller.get();
        return controller;
    }
    FakeConfigurationController* lastSheet = nullptr;

private:
    FakeModuleScript& script_;
    int made_ = 0;
};

} // namespace quorvel::testing
