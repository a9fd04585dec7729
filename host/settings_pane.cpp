#include "host/settings_pane.h"

#include "platform/log.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <exception>

namespace quorvel::saver {
namespace {

using platform::LogCategory;
constexpr QSize kPreviewSize { 480, 270 };

} // namespace

SettingsPane::SettingsPane(std::unique_ptr<SaverPrincipal> principal, platform::Workspace& workspace,
    const QString& hostPath, SaverSettings& settings, QWidget* parent)
    : QWidget(parent)
    , declaration_(workspace.declareRunning(QString::fromLatin1(kSettingsBundleIdentifier), hostPath))
    , settings_(settings)
{
    setWindowTitle(QStringLiteral("Screen Saver"));
    preview_ = new QWidget(this);
    preview_->setFixedSize(kPreviewSize);
    preview_->setAutoFillBackground(true);
    QPalette black = preview_->palette();
    black.setColor(QPalette::Window, Qt::black);
    preview_->setPalette(black);
    optionsButton_ = new QPushButton(QStringLiteral("Options…"), this);
    connect(optionsButton_, &QPushButton::clicked, this, &SettingsPane::openSheet);

    idleTime_ = new QComboBox(this);
    idleTime_->setAccessibleName(QStringLiteral("Start after"));
    connect(idleTime_, &QComboBox::activated, this, [this](int index) { settings_.chooseIdleTime(index); });
    turnedOn_ = new QCheckBox(QStringLiteral("Turned on"), this);
    turnedOn_->setAccessibleName(QStringLiteral("Quorvel turned on"));
    // clicked, not toggled: only the user's own click runs the registry tool, never render().
    connect(turnedOn_, &QCheckBox::clicked, this, [this](bool on) { settings_.turnOn(on); });
    status_ = new QLabel(this);
    status_->setTextFormat(Qt::PlainText);
    status_->setWordWrap(true);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(optionsButton_);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Start after"), idleTime_);
    form->addRow(QStringLiteral("Quorvel"), turnedOn_);
    form->addRow(QString(), status_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(preview_);
    layout->addLayout(buttons);
    layout->addLayout(form);

    stage_.emplace(preview_);
    if (principal)
        session_ = std::make_unique<SaverSession>(std::move(principal), *stage_);
    else
        optionsButton_->setEnabled(false);
    connect(&settings_, &SaverSettings::changed, this, &SettingsPane::render);
    render();
    settings_.refreshElection();
}

void SettingsPane::render()
{
    const QSignalBlocker quiet(idleTime_);
    idleTime_->clear();
    for (const IdleChoice& choice : settings_.idleChoices())
        idleTime_->addItem(choice.title);
    idleTime_->setCurrentIndex(settings_.currentIdleChoice());

    const std::optional<Election> election = settings_.election();
    turnedOn_->setChecked(election == Election::on);
    turnedOn_->setEnabled(election && *election != Election::notRegistered && !settings_.isElecting());
    QString status;
    bool failed = false;
    if (!settings_.idleTimeError().isEmpty() || !settings_.electionError().isEmpty()) {
        failed = true;
        status = settings_.idleTimeError().isEmpty() ? settings_.electionError() : settings_.idleTimeError();
    } else if (election == Election::notRegistered) {
        status = QStringLiteral("Screensaver not installed");
    } else if (election == Election::off) {
        status = QStringLiteral("Turned off - Quorvel does not start until it is turned on.");
    }
    status_->setText(status);
    status_->setStyleSheet(failed ? QStringLiteral("color: #c0392b;") : QString());
    status_->setVisible(!status.isEmpty());
}

SettingsPane::~SettingsPane()
{
    shutDown();
}

bool SettingsPane::start()
{
    if (!session_)
        return false;
    const bool started = session_->start({ stage_->target() }) > 0;
    openSheet();
    return started;
}

void SettingsPane::openSheet()
{
    SaverPrincipal* principal = session_ ? session_->principal() : nullptr;
    if (sheet_ || !principal)
        return;
    try {
        configuration_ = principal->makeConfigurationController();
        // The sheet may ask to close from inside its own button's handler, so it closes later.
        QPointer<SettingsPane> self(this);
        sheetView_ = configuration_ ? configuration_->loadView([self] {
            if (self)
                QMetaObject::invokeMethod(self, &SettingsPane::closeSheet, Qt::QueuedConnection);
        })
                                    : nullptr;
    } catch (const std::exception& e) {
        platform::log::error(
            LogCategory::Host, QStringLiteral("configuration sheet failed: %1").arg(QString::fromUtf8(e.what())));
    } catch (...) {
        platform::log::error(LogCategory::Host, QStringLiteral("configuration sheet failed"));
    }
    if (!sheetView_) {
        platform::log::error(LogCategory::Host, QStringLiteral("the module has no configuration sheet"));
        configuration_.reset();
        optionsButton_->setEnabled(false);
        return;
    }
    sheet_ = new QDialog(this);
    sheet_->setWindowTitle(QStringLiteral("Options"));
    sheet_->setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(sheet_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(sheetView_);
    // Closing the dialog with the window manager closes the sheet the same way.
    connect(sheet_, &QDialog::finished, this, &SettingsPane::closeSheet, Qt::QueuedConnection);
    sheet_->open();
}

void SettingsPane::closeSheet()
{
    if (!sheet_ && !configuration_)
        return;
    QDialog* sheet = sheet_;
    sheet_ = nullptr;
    // The controller owns its sheet: detach it from the dialog before either goes away.
    if (sheetView_) {
        sheetView_->hide();
        sheetView_->setParent(nullptr);
    }
    configuration_.reset();
    if (sheetView_)
        delete sheetView_.data();
    if (sheet) {
        disconnect(sheet, nullptr, this, nullptr);
        sheet->hide();
        sheet->deleteLater();
    }
}

void SettingsPane::shutDown()
{
    closeSheet();
    if (session_)
        session_->stop();
    declaration_.reset();
}

void SettingsPane::closeEvent(QCloseEvent* event)
{
    shutDown();
    event->accept();
}

} // namespace quorvel::saver
