#include "app/library/generation_preview_model.h"

#include "app/client/generation_store.h"

namespace quorvel::library {

std::optional<QUrl> playableAddress(const QString& address)
{
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty())
        return std::nullopt;
    return url;
}

GenerationPreviewModel::GenerationPreviewModel(
    app::GenerationStore& generation, const platform::MediaPlayerFactory& makePlayer, QObject* parent)
    : QObject(parent)
    , generation_(generation)
    , player_(makePlayer())
{
    connect(&generation_, &app::GenerationStore::clipURLChanged, this, &GenerationPreviewModel::clipChanged);
    for (auto signal : { &app::GenerationStore::submissionChanged, &app::GenerationStore::publishedChanged,
             &app::GenerationStore::titleSavedChanged, &app::GenerationStore::errorChanged })
        connect(&generation_, signal, this, &GenerationPreviewModel::changed);
}

GenerationPreviewModel::~GenerationPreviewModel()
{
    player_->pause();
}

bool GenerationPreviewModel::hasClip() const
{
    return generation_.clipURL().has_value();
}

std::optional<QUrl> GenerationPreviewModel::clipAddress() const
{
    const std::optional<QString> clip = generation_.clipURL();
    return clip ? playableAddress(*clip) : std::nullopt;
}

std::optional<app::GenerationSubmission> GenerationPreviewModel::submission() const
{
    return generation_.submission();
}

void GenerationPreviewModel::setTitle(const QString& title)
{
    if (title_ == title)
        return;
    title_ = title;
    emit changed();
}

bool GenerationPreviewModel::showsPublishButton() const
{
    return !generation_.published();
}

std::optional<SymbolLine> GenerationPreviewModel::statusLine() const
{
    if (generation_.published())
        return SymbolLine { previewTexts::published, QStringLiteral("checkmark.circle.fill") };
    if (generation_.titleSaved())
        return SymbolLine { previewTexts::titleSaved, QStringLiteral("checkmark.circle.fill") };
    return std::nullopt;
}

std::optional<SymbolLine> GenerationPreviewModel::errorLine() const
{
    if (const std::optional<QString> error = generation_.error())
        return SymbolLine { *error, QStringLiteral("exclamationmark.triangle.fill") };
    return std::nullopt;
}

void GenerationPreviewModel::appear()
{
    shown_ = true;
    feedPlayer();
}

void GenerationPreviewModel::disappear()
{
    shown_ = false;
    player_->pause();
}

QCoro::Task<> GenerationPreviewModel::saveTitle()
{
    return generation_.saveTitle(title_);
}

QCoro::Task<> GenerationPreviewModel::publish()
{
    return generation_.publish(title_);
}

void GenerationPreviewModel::clipChanged()
{
    // A hidden window loads nothing; it feeds the player when it is shown again.
    if (shown_)
        feedPlayer();
    emit changed();
}

void GenerationPreviewModel::feedPlayer()
{
    const std::optional<QString> clip = generation_.clipURL();
    if (const std::optional<QUrl> url = clip ? playableAddress(*clip) : std::nullopt) {
        player_->setItem(*url);
        return;
    }
    // Without a playable clip (a new run began, or the address is broken) the previous clip must
    // neither keep playing out of sight nor pass for the new one.
    player_->pause();
    if (player_->hasItem())
        player_->setItem(QUrl());
}

} // namespace quorvel::library
