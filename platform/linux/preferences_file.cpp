#include "platform/linux/preference_file_suite.h"
#include "platform/preferences.h"
#include "platform/spaces.h"

#include <QDir>
#include <QStandardPaths>

#include <functional>

namespace quorvel::platform {

namespace {

// A domain whose document is produced elsewhere (the synthesised spaces and displays). Writes
// are not kept; a synchronize after one reports the failure instead of pretending.
class DocumentSuite final : public PreferenceSuite {
public:
    explicit DocumentSuite(std::function<QVariantMap()> document)
        : document_(std::move(document))
        , values_(document_())
    {
    }
    QVariant value(const QString& key) const override { return values_.value(key); }
    void setValue(const QString&, const QVariant&) override { refusedWrite_ = true; }
    void remove(const QString&) override { refusedWrite_ = true; }
    bool synchronize() override
    {
        values_ = document_();
        return !std::exchange(refusedWrite_, false);
    }

private:
    std::function<QVariantMap()> document_;
    QVariantMap values_;
    bool refusedWrite_ = false;
};

// Suite names become file names; anything that could climb out of the folder or hide a file is refused.
bool isSafeName(const QString& name)
{
    return !name.isEmpty() && name.size() <= 200 && !name.startsWith(QLatin1Char('.'))
        && !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

} // namespace

FilePreferences::FilePreferences(QString standardSuiteName, QString directory, std::shared_ptr<Spaces> spaces)
    : standardSuiteName_(std::move(standardSuiteName))
    , directory_(directory.isEmpty() ? defaultDirectory() : std::move(directory))
    , spaces_(std::move(spaces))
{
}

QString FilePreferences::defaultDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/quorvel/Preferences");
}

std::shared_ptr<PreferenceSuite> FilePreferences::suite(const QString& name)
{
    return domain(name, false);
}

std::shared_ptr<PreferenceSuite> FilePreferences::standard()
{
    return suite(standardSuiteName_);
}

std::shared_ptr<PreferenceSuite> FilePreferences::domain(const QString& name, bool currentHostOnly)
{
    if (spaces_) {
        auto spaces = spaces_;
        if (name == QLatin1String("com.apple.spaces"))
            return std::make_shared<DocumentSuite>([spaces] { return spaces->spacesDocument(); });
        if (name == QLatin1String("com.apple.windowserver.displays"))
            return std::make_shared<DocumentSuite>([spaces] { return spaces->windowServerDisplaysDocument(); });
    }
    if (!isSafeName(name))
        return nullptr;
    const QString folder = currentHostOnly ? directory_ + QStringLiteral("/ByHost") : directory_;
    return std::make_shared<detail::PreferenceFileSuite>(folder + QLatin1Char('/') + name + QStringLiteral(".prefs"));
}

} // namespace quorvel::platform
