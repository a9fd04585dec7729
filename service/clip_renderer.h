#pragma once
// Renders a short H.264 clip for a recipe with ffmpeg, a few at a time, in child processes, so
// the event loop that answers HTTP never waits for a render.

#include "service/recipe_look.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <deque>
#include <optional>

class QProcess;

namespace quorvel::service {

struct ClipOrder {
    QString id; // file name stem of the clip
    QString prompt; // drawn on the clip, read by ffmpeg from a file
    RecipeKeys recipe; // everything else the clip shows
};

class ClipRenderer final : public QObject {
    Q_OBJECT
public:
    // `clipsDir` receives "<id>.mp4"; `workDir` holds scratch files.
    ClipRenderer(QString ffmpegPath, QString clipsDir, QString workDir, QObject* parent = nullptr);
    ~ClipRenderer() override;

    // Queues a render; `finished` follows exactly once per order.
    void render(const ClipOrder& order);
    // Path of the finished clip of an id.
    QString clipPath(const QString& id) const;
    // Every later clip gets this size and length whatever its tier (tests render tiny clips).
    void overrideFormat(const ClipFormat& format) { format_ = format; }

    static constexpr int kMaxParallel = 2;
    static constexpr int kTimeoutMs = 60000;

signals:
    // ok false carries a one-line reason.
    void finished(const QString& id, bool ok, const QString& error);

private:
    void startNext();
    void complete(QProcess* process, const QString& id, bool ok, const QString& error);

    QString ffmpeg_;
    QString clipsDir_;
    QString workDir_;
    std::optional<ClipFormat> format_;
    std::deque<ClipOrder> queue_;
    QHash<QProcess*, QString> running_;
};

// Breaks a prompt into at most `maxLines` lines of about `width` characters for the clip.
QString wrapForClip(const QString& prompt, int width = 38, int maxLines = 5);

} // namespace quorvel::service
