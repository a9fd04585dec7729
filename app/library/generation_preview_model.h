#pragma once
// The "preview" window without its widgets: what it shows of the shared generation store, the
// title being typed, and the one player it owns, fed with the finished clip while shown.

#include "app/client/generation_submission.h"
#include "platform/media_player.h"

#include <QCoroTask>
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

namespace quorvel::app {
class GenerationStore;
}

namespace quorvel::library {

namespace previewTexts {
inline const QString empty = QStringLiteral("No wumble to preview");
inline const QString header = QStringLiteral("Your wumble is ready");
inline const QString saved = QStringLiteral("Saved to Your Wumbles");
inline const QString recipe = QStringLiteral("Recipe");
inline const QString titleHint = QStringLiteral("Titles are optional and checked for all-ages safety when saved.");
inline const QString titlePlaceholder = QStringLiteral("Optional title");
inline const QString saveTitle = QStringLiteral("Save Title");
inline const QString addToCommunity = QStringLiteral("Add to Community");
inline const QString published = QStringLiteral("Added to the community feed");
inline const QString titleSaved = QStringLiteral("Title saved");
} // namespace previewTexts

// A line of text with the name of the symbol drawn before it.
struct SymbolLine {
    QString text;
    QString symbol;

    bool operator==(const SymbolLine&) const = default;
};

// The address as a playable URL: it must parse strictly and name a scheme; none otherwise.
std::optional<QUrl> playableAddress(const QString& address);

class GenerationPreviewModel final : public QObject {
    Q_OBJECT
public:
    // `generation` must outlive the model; the player is made once, here, and lives as long as it.
    GenerationPreviewModel(
        app::GenerationStore& generation, const platform::MediaPlayerFactory& makePlayer, QObject* parent = nullptr);
    ~GenerationPreviewModel() override;

    platform::MediaPlayer& player() { return *player_; }

    // False shows the empty label; true shows the clip, its recipe and the title area.
    bool hasClip() const;
    // The clip's address when it is playable.
    std::optional<QUrl> clipAddress() const;
    std::optional<app::GenerationSubmission> submission() const;
    QString title() const { return title_; }
    // Kept as typed: whatever the outcome of a save or publish, the field keeps it.
    void setTitle(const QString& title);
    bool showsPublishButton() const;
    // "Added to the community feed" once published, else "Title saved" once saved, else none.
    std::optional<SymbolLine> statusLine() const;
    std::optional<SymbolLine> errorLine() const;

    // The window became visible: the player gets a fresh item for the clip.
    void appear();
    // The window went away: the player pauses.
    void disappear();
    bool isShown() const { return shown_; }

    // Each starts its own request through the store; the tasks may be dropped.
    QCoro::Task<> saveTitle();
    QCoro::Task<> publish();

signals:
    // Anything shown may have changed.
    void changed();

private:
    void clipChanged();
    void feedPlayer();

    app::GenerationStore& generation_;
    std::unique_ptr<platform::MediaPlayer> player_;
    QString title_;
    bool shown_ = false;
};

} // namespace quorvel::library
