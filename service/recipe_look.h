#pragma once
// Turns the keys of a recipe into an ffmpeg command line: the style picks the palette and texture,
// the camera move how the frame travels, the vibe the pace, the tier the size and length. Only
// numbers and strings from fixed tables reach the filter graph; the prompt is read by ffmpeg from
// a file next to the render, never spliced into the graph.

#include <QString>
#include <QStringList>

#include <optional>

namespace quorvel::service {

struct RecipeKeys {
    QString style;
    QString motion;
    QString vibe;
    bool lite = true;
};

struct ClipFormat {
    int width = 0; // even
    int height = 0; // even
    int fps = 0;
    int frames = 0;
};

// The size and length of a tier's clips.
ClipFormat clipFormat(bool lite);

// Why a recipe cannot be rendered ("unknown style \"x\"."), or empty when every key is known.
QString recipeKeyError(const RecipeKeys& recipe);

// The filter graph of a recipe, ending in the label [clip]; nullopt for an unknown key. With
// `promptFile` the text of that file (a plain file name in ffmpeg's working directory) is drawn.
std::optional<QString> filterGraph(
    const RecipeKeys& recipe, const ClipFormat& format, const QString& promptFile = {}, const QString& fontFile = {});

// The whole ffmpeg argument list writing an H.264 mp4 to `output` (always the last argument).
std::optional<QStringList> renderArguments(const RecipeKeys& recipe, const ClipFormat& format, const QString& output,
    const QString& promptFile = {}, const QString& fontFile = {});

} // namespace quorvel::service
