// Clips show their recipe: every key of the vocabulary changes the pixels, and neither an unknown
// key nor the prompt's characters ever reach the filter graph.
#include "service/clip_renderer.h"
#include "service/recipe_look.h"
#include "service/vocabulary.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>

using namespace quorvel::service;
using quorvel::testing::readFile;

namespace {

constexpr auto kFfmpeg = "/usr/bin/ffmpeg";
// Small enough that the whole vocabulary renders in seconds, large enough for every block and grid.
const ClipFormat kTiny { 96, 54, 12, 8 };

const RecipeKeys kBase { "noir", "drift", "calm", true };

// Runs ffmpeg once per argument list, all at once, and returns what each wrote to stdout.
std::vector<QByteArray> runAll(const std::vector<QStringList>& argumentLists)
{
    std::vector<std::unique_ptr<QProcess>> processes;
    for (const QStringList& arguments : argumentLists) {
        processes.push_back(std::make_unique<QProcess>());
        processes.back()->start(kFfmpeg, arguments);
    }
    std::vector<QByteArray> outputs;
    for (const auto& process : processes) {
        const bool ok = process->waitForFinished(60000) && process->exitCode() == 0;
        EXPECT_TRUE(ok) << process->arguments().join(' ').toStdString() << "\n"
                        << process->readAllStandardError().toStdString();
        outputs.push_back(ok ? process->readAllStandardOutput() : QByteArray());
    }
    return outputs;
}

// Renders recipes with the real encoder and decodes each clip back to packed RGB, every frame.
std::vector<QByteArray> renderPixels(const std::vector<RecipeKeys>& recipes, const QString& dir)
{
    std::vector<QStringList> renders;
    std::vector<QStringList> decodes;
    for (const RecipeKeys& recipe : recipes) {
        const QString clip = dir + QStringLiteral("/%1.mp4").arg(renders.size());
        const auto arguments = renderArguments(recipe, kTiny, clip);
        EXPECT_TRUE(arguments) << recipe.style.toStdString();
        renders.push_back(arguments.value_or(QStringList { "-version" }));
        decodes.push_back({ "-v", "error", "-i", clip, "-f", "rawvideo", "-pix_fmt", "rgb24", "-" });
    }
    runAll(renders);
    std::vector<QByteArray> pixels = runAll(decodes);
    for (const QByteArray& clip : pixels)
        EXPECT_EQ(clip.size(), kTiny.width * kTiny.height * 3 * kTiny.frames);
    return pixels;
}

// Mean absolute difference per channel value, 0..255.
double difference(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size() || a.isEmpty())
        return 255;
    double sum = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        sum += std::abs(static_cast<int>(static_cast<uchar>(a[i])) - static_cast<int>(static_cast<uchar>(b[i])));
    return sum / static_cast<double>(a.size());
}

// Renders one variant per key and asserts that no two keys look alike.
void expectEveryKeyLooksDifferent(const QStringList& keys, QString RecipeKeys::*field)
{
    QTemporaryDir dir;
    std::vector<RecipeKeys> recipes;
    for (const QString& key : keys) {
        recipes.push_back(kBase);
        recipes.back().*field = key;
    }
    const std::vector<QByteArray> clips = renderPixels(recipes, dir.path());
    for (size_t i = 0; i < clips.size(); ++i)
        for (size_t j = i + 1; j < clips.size(); ++j)
            EXPECT_GT(difference(clips[i], clips[j]), 1.0)
                << keys[qsizetype(i)].toStdString() << " and " << keys[qsizetype(j)].toStdString() << " look alike";
}

TEST(ClipLookTest, TheSameRecipeGivesTheSamePixels)
{
    // Without this the differences below could come from chance instead of the keys.
    QTemporaryDir dir;
    std::vector<RecipeKeys> recipes;
    for (const QString& style : { QString("cinematic"), QString("pixel"), QString("risograph") }) {
        recipes.push_back(kBase);
        recipes.back().style = style;
        recipes.push_back(recipes.back());
    }
    const std::vector<QByteArray> clips = renderPixels(recipes, dir.path());
    for (size_t i = 0; i + 1 < clips.size(); i += 2)
        EXPECT_LT(difference(clips[i], clips[i + 1]), 0.01) << recipes[i].style.toStdString();
}

TEST(ClipLookTest, EveryStyleRendersAndLooksUnlikeEveryOther)
{
    expectEveryKeyLooksDifferent(vocabulary::styles(), &RecipeKeys::style);
}

TEST(ClipLookTest, EveryCameraMoveRendersAndMovesUnlikeEveryOther)
{
    expectEveryKeyLooksDifferent(vocabulary::motions(), &RecipeKeys::motion);
}

TEST(ClipLookTest, EveryVibeRendersAndPacesUnlikeEveryOther)
{
    expectEveryKeyLooksDifferent(vocabulary::vibes(), &RecipeKeys::vibe);
}

TEST(ClipLookTest, OnlyTheVocabularysExactKeysHaveALook)
{
    const std::vector<std::pair<RecipeKeys, QString>> refused {
        { { "Noir", "drift", "calm", true }, "unknown style \"Noir\"." },
        { { "noir ", "drift", "calm", true }, "unknown style \"noir \"." },
        { { "noir", "push in", "calm", true }, "unknown motion \"push in\"." },
        { { "noir", "drift", "", true }, "unknown vibe \"\"." },
        { { "noir,drawtext=text=x", "drift", "calm", true }, "unknown style \"noir,drawtext=text=x\"." },
        { { "noir", "drift';[out]", "calm", true }, "unknown motion \"drift';[out]\"." },
    };
    for (const auto& [recipe, error] : refused) {
        EXPECT_EQ(recipeKeyError(recipe), error);
        EXPECT_FALSE(filterGraph(recipe, kTiny));
        EXPECT_FALSE(renderArguments(recipe, kTiny, "/tmp/x.mp4"));
    }
    for (const QString& style : vocabulary::styles())
        for (const QString& motion : vocabulary::motions())
            for (const QString& vibe : vocabulary::vibes())
                ASSERT_EQ(recipeKeyError({ style, motion, vibe, false }), "");
}

TEST(ClipLookTest, StandardClipsAreLargerAndNoShorterThanLite)
{
    const ClipFormat lite = clipFormat(true);
    const ClipFormat standard = clipFormat(false);
    EXPECT_GT(standard.width * standard.height, lite.width * lite.height);
    EXPECT_GE(standard.frames / double(standard.fps), lite.frames / double(lite.fps));
    for (const ClipFormat& format : { lite, standard })
        EXPECT_TRUE(format.width % 2 == 0 && format.height % 2 == 0) << "H.264 in 4:2:0 needs even sides";
}

class ClipRendererTest : public ::testing::Test {
protected:
    // Runs one order to its end and returns (ok, error).
    std::pair<bool, QString> run(ClipRenderer& renderer, const ClipOrder& order)
    {
        std::optional<std::pair<bool, QString>> outcome;
        const auto connection = QObject::connect(
            &renderer, &ClipRenderer::finished, [&](const QString& id, bool ok, const QString& error) {
                if (id == order.id)
                    outcome = std::pair(ok, error);
            });
        renderer.render(order);
        const QDeadlineTimer deadline(30000);
        while (!outcome && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        QObject::disconnect(connection);
        EXPECT_TRUE(outcome) << "the render never finished";
        return outcome.value_or(std::pair(false, QString("timeout")));
    }

    // Stands in for the encoder: keeps its arguments and the prompt file it was given.
    QString recordingEncoder()
    {
        return quorvel::testing::writeScript(dir.path() + "/recording-encoder",
            "for arg in \"$@\"; do printf '%s\\n' \"$arg\"; done >> \"$0.args\"\n"
            "cp prompt.txt \"$0.prompt\"\n"
            "for last in \"$@\"; do :; done\necho clip > \"$last\"\n");
    }

    QTemporaryDir dir;
};

TEST_F(ClipRendererTest, AHostilePromptIsDrawnFromAFileAndLeavesTheGraphAsItWas)
{
    const QString hostile = "it's \"quoted\": C:\\path\\ 100% %{localtime} %{eif:1/0:d}\n"
                            "line two\r\n';[out] drawtext=text=pwned,null[x];[in]";
    const QString encoder = recordingEncoder();
    ClipRenderer renderer(encoder, dir.path() + "/clips", dir.path() + "/work");
    renderer.overrideFormat(kTiny);
    const RecipeKeys recipe { "vaporwave", "orbit", "wild", true };

    ASSERT_EQ(run(renderer, { "plain", "a fox", recipe }), std::pair(true, QString()));
    const QByteArray plainArguments = readFile(encoder + ".args");
    QFile::remove(encoder + ".args");
    ASSERT_EQ(run(renderer, { "plain", hostile, recipe }), std::pair(true, QString()));
    EXPECT_EQ(readFile(encoder + ".args"), plainArguments) << "the prompt changed the command line";
    EXPECT_EQ(readFile(encoder + ".prompt"), wrapForClip(hostile).toUtf8());
    EXPECT_FALSE(plainArguments.contains("fox"));

    // Drawn by the real encoder from the same file, it is plain text: were directives expanded,
    // drawtext would complain about the stray "%" and the unknown "%{quorvel}" on every frame.
    QFile promptFile(dir.path() + "/prompt.txt");
    ASSERT_TRUE(promptFile.open(QIODevice::WriteOnly));
    promptFile.write(wrapForClip(hostile + " %{quorvel}").toUtf8());
    promptFile.close();
    QProcess direct;
    direct.setWorkingDirectory(dir.path());
    direct.start(kFfmpeg,
        *renderArguments(recipe, kTiny, dir.path() + "/direct.mp4", "prompt.txt",
            "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"));
    ASSERT_TRUE(direct.waitForFinished(30000));
    EXPECT_EQ(direct.exitCode(), 0);
    EXPECT_EQ(direct.readAllStandardError().toStdString(), "");

    ClipRenderer real(kFfmpeg, dir.path() + "/clips", dir.path() + "/work");
    real.overrideFormat(kTiny);
    ASSERT_EQ(run(real, { "hostile", hostile, recipe }), std::pair(true, QString()));
    QProcess probe;
    probe.start(kFfmpeg, { "-v", "error", "-i", real.clipPath("hostile"), "-f", "rawvideo", "-pix_fmt", "rgb24", "-" });
    probe.waitForFinished(30000);
    EXPECT_EQ(probe.readAllStandardOutput().size(), kTiny.width * kTiny.height * 3 * kTiny.frames);
}

// The saver draws a clip's title and caption over the bottom of the picture; the prompt's band
// must stay clear of them, in the top half.
TEST_F(ClipRendererTest, ThePromptBandStaysInTheTopHalf)
{
    const ClipFormat format { 320, 180, 12, 1 };
    QFile promptFile(dir.path() + "/prompt.txt");
    ASSERT_TRUE(promptFile.open(QIODevice::WriteOnly));
    promptFile.write(wrapForClip("a lighthouse in fog, waves breaking on the rocks below at dusk").toUtf8());
    promptFile.close();
    std::vector<QByteArray> frames;
    for (const QString& prompt : { QString(), QString("prompt.txt") }) {
        const QString clip = dir.path() + (prompt.isEmpty() ? "/bare.mp4" : "/band.mp4");
        QProcess render;
        render.setWorkingDirectory(dir.path());
        render.start(
            kFfmpeg, *renderArguments(kBase, format, clip, prompt, "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"));
        ASSERT_TRUE(render.waitForFinished(30000) && render.exitCode() == 0) << render.readAllStandardError().data();
        frames.push_back(runAll({ { "-v", "error", "-i", clip, "-f", "rawvideo", "-pix_fmt", "rgb24", "-" } })[0]);
    }
    const qsizetype row = format.width * 3;
    ASSERT_EQ(frames[0].size(), row * format.height);
    ASSERT_EQ(frames[1].size(), frames[0].size());
    // The encoder's own small differences spread beyond the band; the band darkens whole rows.
    const auto rowDifference = [&](int y) {
        qint64 sum = 0;
        for (qsizetype i = y * row; i < (y + 1) * row; ++i)
            sum += std::abs(int(quint8(frames[0][i])) - int(quint8(frames[1][i])));
        return double(sum) / double(row);
    };
    int firstChanged = -1, lastChanged = -1;
    for (int y = 0; y < format.height; ++y)
        if (rowDifference(y) > 6) {
            firstChanged = firstChanged < 0 ? y : firstChanged;
            lastChanged = y;
        }
    ASSERT_GE(firstChanged, 0) << "no band was drawn";
    EXPECT_LT(lastChanged, format.height / 2) << "the band reaches into the saver's title and caption";
}

TEST_F(ClipRendererTest, AnUnknownKeyIsRefusedBeforeTheEncoderStarts)
{
    const QString encoder = recordingEncoder();
    ClipRenderer renderer(encoder, dir.path() + "/clips", dir.path() + "/work");
    renderer.overrideFormat(kTiny);
    const auto [ok, error] = run(renderer, { "bad", "a fox", { "noir", "drift", "calm[out]", true } });
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, "the recipe has an unknown vibe \"calm[out]\".");
    EXPECT_FALSE(QFile::exists(encoder + ".args")) << "the encoder ran";
    EXPECT_FALSE(QFile::exists(renderer.clipPath("bad")));
    EXPECT_EQ(run(renderer, { "good", "a fox", kBase }), std::pair(true, QString())) << "the queue goes on";
}

} // namespace
