#include "service/recipe_look.h"

#include <QHash>

#include <algorithm>
#include <array>
#include <cmath>

namespace quorvel::service {
namespace {

// The camera looks at a canvas this much larger than the frame, so every move has room to travel.
constexpr double kCanvas = 1.5;

// A style paints a slowly moving field through a four-colour palette onto the canvas, adds its
// texture there, and finishes the moved frame. Placeholders: {W} {H} canvas size, {R} frame rate,
// {L} rate of the life pattern, {lw} {lh} its grid, {g} a canvas grid step; {w} {h} frame size,
// {b} a block, {px} a small shift, {bw} a border. In a field, X Y W H T are geq's own variables
// and {P} is the vibe's pace.
struct StyleLook {
    std::array<quint32, 4> palette;
    const char* field; // 0..1 over the canvas; empty when `texture` draws the whole canvas
    const char* texture; // filters over the painted canvas, or a whole source chain
    const char* finish;
};

constexpr auto kWaves = "0.5+0.3*sin(3*(X/W+Y/H)+T*{P})+0.2*sin(7*X/W-0.7*T*{P})";
constexpr auto kHorizon = "Y/H+0.08*sin(6*X/W+T*{P})";
constexpr auto kGlow = "1-1.5*hypot(X/W-0.5-0.15*sin(0.5*T*{P}),Y/H-0.45)";
constexpr auto kRings = "0.5+0.5*sin(16*hypot(X/W-0.3,Y/H-0.6)-2*T*{P})";
constexpr auto kPlasma = "0.5+0.25*sin(9*X/W+T*{P})+0.25*cos(7*Y/H-1.3*T*{P}+3*X/W)";
constexpr auto kStripes = "0.5+0.5*sin(10*(X/W-0.6*Y/H)+T*{P})";

// Posterisation of every channel to four and three levels, and an emboss.
#define QV_POSTER4 "lutrgb=r='floor(val/64)*64+32':g='floor(val/64)*64+32':b='floor(val/64)*64+32'"
#define QV_POSTER3 "lutrgb=r='floor(val/86)*100':g='floor(val/86)*100':b='floor(val/86)*100'"
#define QV_EMBOSS "convolution=0m='-2 -1 0 -1 1 1 0 1 2':1m='-2 -1 0 -1 1 1 0 1 2':2m='-2 -1 0 -1 1 1 0 1 2'"

const QHash<QString, StyleLook>& styleLooks()
{
    static const QHash<QString, StyleLook> looks {
        { "cinematic",
            { { 0x0b1d2e, 0x2a7f9e, 0xf2a541, 0xe76f51 }, kHorizon, "",
                "eq=contrast=1.1:saturation=1.2,noise=alls=10:allf=t:all_seed=7,vignette=PI/4,"
                "drawbox=x=0:y=0:w=iw:h=ih/9:color=black:t=fill,drawbox=x=0:y=ih-ih/9:w=iw:h=ih/"
                "9:color=black:t=fill" } },
        { "anime",
            { { 0xff5d8f, 0x97d2fb, 0xfff3b0, 0x8338ec }, kStripes, "",
                "eq=saturation=1.5," QV_POSTER4 ",unsharp=5:5:1.5" } },
        { "realistic",
            { { 0x9ec1cf, 0xcb997e, 0x6b705c, 0x3a5a40 }, kHorizon, "noise=alls=30:allf=0:all_seed=3,gblur=sigma=2",
                "colortemperature=temperature=5600,noise=alls=4:allf=t:all_seed=9" } },
        { "retro",
            { { 0x264653, 0x2a9d8f, 0xe9c46a, 0xe76f51 }, kWaves, "",
                "curves=preset=vintage,noise=alls=18:allf=t+u:all_seed=4,drawgrid=w=iw:h=4:t=1:c=black@0.35,"
                "vignette=PI/3" } },
        { "watercolor",
            { { 0x90e0ef, 0xffc8dd, 0xcdb4db, 0xfefae0 }, kPlasma, "noise=alls=60:allf=0:all_seed=8,gblur=sigma=6",
                "eq=brightness=0.04:saturation=0.9,noise=alls=10:allf=0:all_seed=2" } },
        { "clay",
            { { 0x606c38, 0xbc6c25, 0xdda15e, 0xfefae0 }, kGlow, "",
                "gblur=sigma=2," QV_POSTER4 "," QV_EMBOSS ",gblur=sigma=1" } },
        { "synthwave",
            { { 0x240046, 0x7b2cbf, 0xff00a0, 0xff9e00 }, kHorizon, "drawgrid=w={g}:h={g}:t=2:c=0xff2bd6@0.8",
                "eq=saturation=1.3:contrast=1.1,vignette=PI/4" } },
        { "pixel",
            { {}, "",
                "life=s={lw}x{lh}:r={L}:mold=10:ratio=0.35:seed=5:life_color=0xaacc00:death_color=0x1b4332:"
                "mold_color=0x2b9348,fps={R},scale={W}x{H}:flags=neighbor",
                "pixelize=w={b}:h={b}" } },
        { "oilpaint",
            { { 0x335c67, 0x7f5539, 0xe6ccb2, 0x9c6644 }, kPlasma, "noise=alls=70:allf=0:all_seed=6,gblur=sigma=3",
                "unsharp=7:7:2.5,eq=saturation=1.3" } },
        { "papercraft",
            { { 0x3d405b, 0x81b29a, 0xe07a5f, 0xf4f1de }, kWaves, "",
                QV_POSTER3 "," QV_EMBOSS ",noise=alls=6:allf=0:all_seed=5" } },
        { "noir",
            { { 0x111111, 0x555555, 0xbbbbbb, 0xf5f5f5 }, kGlow, "drawgrid=w=iw:h={g}:t={g}/3:c=black@0.55",
                "hue=s=0,eq=contrast=1.3,noise=alls=16:allf=t:all_seed=1,vignette=PI/5" } },
        { "vaporwave",
            { { 0x01cdfe, 0xb967ff, 0xff71ce, 0xfffb96 }, kHorizon, "drawgrid=w={g}:h={g}:t=2:c=0x05ffa1@0.6",
                "rgbashift=rh={px}:bh=-{px},drawgrid=w=iw:h=3:t=1:c=black@0.2" } },
        { "storybook",
            { { 0x264653, 0x2a9d8f, 0xe9c46a, 0xf4a261 }, kGlow, "",
                "gblur=sigma=2,curves=preset=lighter,noise=alls=8:allf=0:all_seed=3,"
                "drawbox=x=0:y=0:w=iw:h=ih:color=0xf4e9d8:t={bw}" } },
        { "ukiyoe",
            { { 0x1d3557, 0x457b9d, 0xf1faee, 0xe63946 }, kRings, "",
                QV_POSTER4 ",edgedetect=mode=colormix:low=0.02:high=0.08,curves=preset=vintage" } },
        { "toon",
            { { 0x3a86ff, 0xff006e, 0xfb5607, 0xffbe0b }, kGlow, "",
                QV_POSTER3 ",eq=saturation=1.6,drawgrid=w={b}:h={b}:t=2:c=white@0.25" } },
        { "risograph",
            { { 0x0077b6, 0xff477e, 0xf7f3e3, 0x0077b6 }, kWaves, "",
                "noise=alls=35:allf=0:all_seed=4,lutrgb=r='if(gt(val,128),240,30)':g='if(gt(val,140),230,60)':"
                "b='if(gt(val,110),220,120)',rgbashift=rh={px}:rv={px}" } },
        { "stainedglass",
            { { 0x5a189a, 0x38b000, 0xd00000, 0xffba08 }, kPlasma, "",
                "pixelize=w={b}*3:h={b}*3,drawgrid=w={b}*3:h={b}*3:t={px}:c=0x111111,eq=saturation=1.5,gblur=sigma="
                "1" } },
        { "isometric",
            { { 0x3f37c9, 0x4361ee, 0x4cc9f0, 0xf1faee }, kHorizon,
                "[iso0];color=c=black:s={W}x{H}:r={R},trim=end_frame=1,drawgrid=w={g}:h={g}:t=2:c=white,split[iso1]["
                "iso2];"
                "[iso1]shear=shy=0.577[iso3];[iso2]shear=shy=-0.577[iso4];[iso3][iso4]blend=all_mode=lighten,"
                "loop=loop=-1:size=1,setpts=N/{R}/TB[iso5];"
                "[iso0][iso5]blend=all_mode=screen",
                "eq=contrast=1.1" } },
    };
    return looks;
}

#undef QV_POSTER4
#undef QV_POSTER3
#undef QV_EMBOSS

// A camera move on the canvas: scale of the view (1 = the frame's share of the canvas) from `s0`
// to `s1`, and travel over the canvas's slack as a share of its half width and height (positive is
// right and down). Progress is eased unless `linear`.
enum class Path { Straight, Orbit, Sway, Arc };
struct MoveLook {
    double s0, s1;
    double ax, ay;
    bool linear;
    Path path;
};

const QHash<QString, MoveLook>& moveLooks()
{
    static const QHash<QString, MoveLook> moves {
        { "slow pan", { 1.0, 1.0, 0.8, 0.0, false, Path::Arc } },
        { "drift", { 1.0, 1.0, 0.6, -0.45, true, Path::Straight } },
        { "orbit", { 1.12, 1.12, 0.6, 0.6, true, Path::Orbit } },
        { "push-in", { 1.0, 1.34, 0.0, 0.0, false, Path::Straight } },
        { "aerial glide", { 1.0, 1.16, 0.6, -0.5, false, Path::Straight } },
        { "parallax sway", { 1.0, 1.0, -0.9, 0.0, false, Path::Sway } },
        { "pull back", { 1.34, 0.88, 0.0, 0.0, false, Path::Straight } },
        { "tilt up", { 1.04, 1.04, 0.0, -0.9, false, Path::Arc } },
        { "tilt down", { 1.04, 1.04, 0.0, 0.9, false, Path::Arc } },
        { "crane rise", { 1.12, 0.96, 0.0, -0.7, true, Path::Straight } },
        { "sideways track", { 1.0, 1.0, 1.0, 0.0, true, Path::Straight } },
    };
    return moves;
}

// How fast a vibe lives: the texture's speed, how much of a move it travels, and a wobble laid
// over the move (share of the slack, per second).
struct VibeLook {
    double pace;
    double travel;
    double wobble;
    double wobbleHz;
};

const QHash<QString, VibeLook>& vibeLooks()
{
    static const QHash<QString, VibeLook> vibes {
        { "calm", { 0.5, 0.55, 0.0, 0.0 } },
        { "gentle", { 0.7, 0.7, 0.0, 0.0 } },
        { "medium", { 1.0, 0.85, 0.0, 0.0 } },
        { "lively", { 1.6, 1.0, 0.05, 1.5 } },
        { "wild", { 2.6, 1.0, 0.12, 3.0 } },
        { "dreamy", { 0.6, 0.65, 0.04, 0.4 } },
        { "epic", { 1.2, 1.0, 0.0, 0.0 } },
        { "mysterious", { 0.8, 0.6, 0.03, 0.25 } },
        { "playful", { 1.9, 0.9, 0.09, 2.0 } },
    };
    return vibes;
}

QString num(double value)
{
    return QString::number(value, 'f', 4);
}

QString even(double value)
{
    return QString::number(std::max(2, static_cast<int>(std::lround(value / 2)) * 2));
}

QString fill(QString text, const QHash<QString, QString>& values)
{
    for (auto it = values.begin(); it != values.end(); ++it)
        text.replace(QLatin1Char('{') + it.key() + QLatin1Char('}'), it.value());
    return text;
}

// One channel of the palette along the field `u`: straight lines through the four colours. The
// field is computed once per pixel and kept in geq's first variable.
QString paletteChannel(const std::array<quint32, 4>& palette, int shift, const QString& u)
{
    const auto c = [&](int i) { return static_cast<int>((palette[static_cast<size_t>(i)] >> shift) & 0xff); };
    return QStringLiteral("st(0,%5);%1+(%2)*clip(3*ld(0),0,1)+(%3)*clip(3*ld(0)-1,0,1)+(%4)*clip(3*ld(0)-2,0,1)")
        .arg(QString::number(c(0)), QString::number(c(1) - c(0)), QString::number(c(2) - c(1)),
            QString::number(c(3) - c(2)), u);
}

// The canvas of a style: its field is smooth, so it is painted at an eighth of the size and scaled up.
QString canvasChain(const StyleLook& style, const QHash<QString, QString>& values)
{
    const QString texture = fill(QLatin1String(style.texture), values);
    if (!*style.field)
        return texture;
    const QString u = fill(QLatin1String(style.field), values);
    QString chain
        = QStringLiteral("color=c=black:s=%1x%2:r=%3,format=gbrp,geq=r='%4':g='%5':b='%6',scale=%7x%8:"
                         "flags=bicubic")
              .arg(values["fw"], values["fh"], values["R"], paletteChannel(style.palette, 16, u),
                  paletteChannel(style.palette, 8, u), paletteChannel(style.palette, 0, u), values["W"], values["H"]);
    if (!texture.isEmpty())
        chain += texture.startsWith(QLatin1Char('[')) ? texture : QStringLiteral(",") + texture;
    return chain;
}

// zoompan expressions of a move; `p` is the progress 0..1 over the clip, `n` the frame number.
QString moveChain(const MoveLook& move, const VibeLook& vibe, const ClipFormat& format)
{
    const QString p = QStringLiteral("(on/%1)").arg(std::max(1, format.frames - 1));
    const QString eased = move.linear ? p : QStringLiteral("(%1*%1*(3-2*%1))").arg(p);
    const QString wobble = vibe.wobble > 0
        ? QStringLiteral("%1*sin(2*PI*%2*on/%3)").arg(num(vibe.wobble), num(vibe.wobbleHz), QString::number(format.fps))
        : QStringLiteral("0");
    const double travel = vibe.travel;
    const QString zoom = QStringLiteral("%1*(%2+(%3)*%4*%5)")
                             .arg(num(kCanvas), num(move.s0), num(move.s1 - move.s0), num(vibe.travel), eased);
    QString dx;
    QString dy;
    switch (move.path) {
    case Path::Straight:
        dx = QStringLiteral("%1*(2*%2-1)").arg(num(move.ax * travel), eased);
        dy = QStringLiteral("%1*(2*%2-1)").arg(num(move.ay * travel), eased);
        break;
    case Path::Arc: // the cross axis bows away and back, as a head turning would
        dx = QStringLiteral("%1*(2*%2-1)+%3*sin(PI*%2)").arg(num(move.ax * travel), eased, num(0.25 * travel));
        dy = QStringLiteral("%1*(2*%2-1)-%3*sin(PI*%2)").arg(num(move.ay * travel), eased, num(0.25 * travel));
        break;
    case Path::Orbit:
        dx = QStringLiteral("%1*cos(2*PI*%2)").arg(num(move.ax * travel), eased);
        dy = QStringLiteral("%1*sin(2*PI*%2)").arg(num(move.ay * travel), eased);
        break;
    case Path::Sway:
        dx = QStringLiteral("%1*sin(2*PI*%2)").arg(num(move.ax * travel), eased);
        dy = QStringLiteral("0");
        break;
    }
    return QStringLiteral("zoompan=z='%1':x='(iw-iw/zoom)/2*(1+%2+%6)':y='(ih-ih/zoom)/2*(1+%3+%6)':d=1:s=%4x%5:fps=%7")
        .arg(zoom, dx, dy, QString::number(format.width), QString::number(format.height), wobble,
            QString::number(format.fps));
}

} // namespace

ClipFormat clipFormat(bool lite)
{
    return lite ? ClipFormat { 640, 360, 24, 84 } : ClipFormat { 960, 540, 24, 120 };
}

QString recipeKeyError(const RecipeKeys& recipe)
{
    if (!styleLooks().contains(recipe.style))
        return QStringLiteral("unknown style \"%1\".").arg(recipe.style.left(64));
    if (!moveLooks().contains(recipe.motion))
        return QStringLiteral("unknown motion \"%1\".").arg(recipe.motion.left(64));
    if (!vibeLooks().contains(recipe.vibe))
        return QStringLiteral("unknown vibe \"%1\".").arg(recipe.vibe.left(64));
    return {};
}

std::optional<QString> filterGraph(
    const RecipeKeys& recipe, const ClipFormat& format, const QString& promptFile, const QString& fontFile)
{
    if (!recipeKeyError(recipe).isEmpty())
        return std::nullopt;
    const StyleLook& style = styleLooks()[recipe.style];
    const MoveLook& move = moveLooks()[recipe.motion];
    const VibeLook& vibe = vibeLooks()[recipe.vibe];

    const double canvasW = format.width * kCanvas;
    const double canvasH = format.height * kCanvas;
    const QHash<QString, QString> values {
        { "W", even(canvasW) },
        { "H", even(canvasH) },
        { "R", QString::number(format.fps) },
        { "P", num(vibe.pace) },
        { "fw", even(canvasW / 8) },
        { "fh", even(canvasH / 8) },
        { "L", num(std::max(1.0, format.fps * vibe.pace / 3)) },
        { "lw", even(canvasW / 8) },
        { "lh", even(canvasH / 8) },
        { "g", even(canvasW / 16) },
        { "w", QString::number(format.width) },
        { "h", QString::number(format.height) },
        { "b", even(format.width / 80.0) },
        { "px", even(format.width / 160.0) },
        { "bw", even(format.width / 40.0) },
    };

    QString graph = canvasChain(style, values) + QStringLiteral("[canvas];");
    if (move.path == Path::Orbit) // the horizon leans as the camera circles
        graph += QStringLiteral("[canvas]rotate=a='%1*sin(2*PI*n/%2)':c=black[canvas1];[canvas1]")
                     .arg(num(0.05 * vibe.travel), QString::number(std::max(1, format.frames)));
    else
        graph += QStringLiteral("[canvas]");
    if (move.path == Path::Sway) {
        // The far layer drifts a little the other way while the near band sweeps across.
        MoveLook far = move;
        far.ax = -0.35 * move.ax;
        graph += QStringLiteral("split[far0][near0];[far0]%1[far];[near0]%2,crop=iw:ih/3:0:ih*2/3,"
                                "eq=brightness=-0.12:saturation=1.2[near];[far][near]overlay=0:H*2/3[moved];")
                     .arg(moveChain(far, vibe, format), moveChain(move, vibe, format));
    } else {
        graph += moveChain(move, vibe, format) + QStringLiteral("[moved];");
    }
    graph += QStringLiteral("[moved]") + fill(QLatin1String(style.finish), values);
    if (!promptFile.isEmpty()) {
        // Expansion off: no character of the prompt is ever read as a directive. The band sits at
        // the top: the bottom of the picture is where the saver draws the clip's title and caption.
        graph += QStringLiteral(",drawtext=fontfile=%1:textfile=%2:expansion=none:fontcolor=white:fontsize=%3:"
                                "line_spacing=6:x=(w-text_w)/2:y=%4:box=1:boxcolor=black@0.45:boxborderw=10")
                     .arg(fontFile, promptFile, QString::number(std::max(8, format.height / 20)),
                         QString::number(format.height / 10));
    }
    graph += QStringLiteral(",format=yuv420p[clip]");
    return graph;
}

std::optional<QStringList> renderArguments(const RecipeKeys& recipe, const ClipFormat& format, const QString& output,
    const QString& promptFile, const QString& fontFile)
{
    const std::optional<QString> graph = filterGraph(recipe, format, promptFile, fontFile);
    if (!graph)
        return std::nullopt;
    return QStringList { "-hide_banner", "-nostdin", "-loglevel", "error", "-y", "-filter_complex", *graph, "-map",
        "[clip]", "-frames:v", QString::number(format.frames), "-r", QString::number(format.fps), "-c:v", "libx264",
        "-preset", "veryfast", "-pix_fmt", "yuv420p", "-movflags", "+faststart", "-f", "mp4", output };
}

} // namespace quorvel::service
