#pragma once
// The spaces and window-server display preference documents. This platform has no virtual
// desktops of that kind, so the real implementation synthesises them from the connected screens:
// one monitor per screen ("Main" for the primary), one space per monitor whose UUID is persisted
// once per display, marked current.

#include <QVariantMap>

#include <memory>

namespace quorvel::platform {

class Screens;

class Spaces {
public:
    virtual ~Spaces() = default;
    // The document of the "com.apple.spaces" domain.
    virtual QVariantMap spacesDocument() = 0;
    // The document of the "com.apple.windowserver.displays" domain.
    virtual QVariantMap windowServerDisplaysDocument() = 0;
};

class SynthesizedSpaces final : public Spaces {
public:
    // `stateDirectory` keeps the per-display space UUIDs (default: beside the preferences).
    explicit SynthesizedSpaces(std::shared_ptr<Screens> screens, QString stateDirectory = {});
    QVariantMap spacesDocument() override;
    QVariantMap windowServerDisplaysDocument() override;

private:
    std::shared_ptr<Screens> screens_;
    QString stateDirectory_;
};

} // namespace quorvel::platform
