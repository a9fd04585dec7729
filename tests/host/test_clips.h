#pragma once
// Real tiny clips rendered with ffmpeg for the tests that need decodable media.

#include <QDir>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace quorvel::testing {

// Renders an H.264 MP4 test pattern of `seconds` at 64x48, 10 fps, with a silent audio track when
// `withAudio`. Returns the file path, or an empty string when ffmpeg is missing or fails.
inline QString renderClip(const QTemporaryDir& dir, const QString& name, double seconds, bool withAudio = false)
{
    const QString path = dir.filePath(name);
    const QString duration = QString::number(seconds, 'f', 2);
    QStringList args { "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
        "testsrc=size=64x48:rate=10:duration=" + duration };
    if (withAudio)
        args << "-f"
             << "lavfi"
             << "-i"
             << "anullsrc=r=8000:cl=mono"
             << "-shortest"
             << "-c:a"
             << "aac";
    args << "-c:v"
         << "libx264"
         << "-pix_fmt"
         << "yuv420p"
         << "-movflags"
         << "+faststart" << path;
    QProcess ffmpeg;
    ffmpeg.start("/usr/bin/ffmpeg", args);
    if (!ffmpeg.waitForFinished(30000) || ffmpeg.exitStatus() != QProcess::NormalExit || ffmpeg.exitCode() != 0)
        return {};
    return path;
}

} // namespace quorvel::testing
