// cld_artwork OUTDIR
//
// Draws every picture of the program and writes:
//   OUTDIR/appres_data.cpp   the pictures compiled into the program (bitmaps, icon)
//   OUTDIR/cldres_data.cpp   the source of the picture library beside the program
//   OUTDIR/images/*.png      every picture as a file, to look at
//   OUTDIR/icons/hicolor/... the program icon for the desktop's icon theme, 16 to 256
//                            pixels and scalable
#include "FrameLayout.h"
#include "Painter.h"
#include "ProductIdentity.h"
#include "ResourceIds.h"

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QString>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

struct Resource {
    QString type; // "BITMAP", "ICON" or "PNG"
    int id;
    QImage image;
    QString name; // for the file written to look at
};

QByteArray encodePng(const QImage& img) {
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "PNG", 9);
    return bytes;
}

QString symbolOf(const Resource& r) {
    QString type = r.type;
    type.replace(QLatin1Char('@'), QLatin1Char('_'));
    return QStringLiteral("k_%1_%2").arg(type).arg(r.id);
}

void writeArray(QByteArray& out, const QString& symbol, const QByteArray& bytes) {
    out += "const unsigned char " + symbol.toLatin1() + "[] = {\n";
    char buf[8];
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%u,", static_cast<unsigned char>(bytes[i]));
        out += buf;
        if (i % 24 == 23)
            out += '\n';
    }
    out += "\n};\n";
}

QByteArray tableSource(const std::vector<Resource>& list) {
    QByteArray out;
    out += "struct Entry {\n    const char* type;\n    int id;\n    const unsigned char* data;\n"
           "    unsigned long size;\n};\n";
    for (const Resource& r : list)
        writeArray(out, symbolOf(r), encodePng(r.image));
    out += "const Entry kEntries[] = {\n";
    for (const Resource& r : list) {
        const QString sym = symbolOf(r);
        out += QStringLiteral("    {\"%1\", %2, %3, sizeof %3},\n")
                   .arg(r.type)
                   .arg(r.id)
                   .arg(sym)
                   .toLatin1();
    }
    out += "};\n\n";
    out += "bool sameType(const char* a, const char* b) {\n"
           "    for (; *a && *b; ++a, ++b) {\n"
           "        const char ca = (*a >= 'a' && *a <= 'z') ? static_cast<char>(*a - 32) : *a;\n"
           "        const char cb = (*b >= 'a' && *b <= 'z') ? static_cast<char>(*b - 32) : *b;\n"
           "        if (ca != cb)\n            return false;\n    }\n"
           "    return *a == *b;\n}\n\n"
           "const Entry* findEntry(const char* type, int id) {\n"
           "    if (!type)\n        return nullptr;\n"
           "    for (const Entry& e : kEntries) {\n"
           "        if (e.id == id && sameType(e.type, type))\n            return &e;\n    }\n"
           "    return nullptr;\n}\n";
    return out;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(bytes) == bytes.size() && f.flush();
}

} // namespace

int main(int argc, char** argv) {
    // Drawing needs fonts, not a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: cld_artwork OUTDIR\n");
        return 2;
    }
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(outDir + QStringLiteral("/images"));

    // Every picture at the current scale: those compiled into the program, and those of the
    // picture library.
    auto drawAll = [](std::vector<Resource>& programOut, std::vector<Resource>& libraryOut) {
        using art::Glyph;
        const QColor under = art::kStage;
        const QColor wingUnder(0x1e, 0x26, 0x33);
        const QColor headUnder(0x2e, 0x3a, 0x4c);
        auto bmp = [](int id, const QImage& img, const QString& name) {
            return Resource{QString::fromLatin1(cld::kBitmapType), id, img, name};
        };
        auto png = [](int id, const QImage& img, const QString& name) {
            return Resource{QString::fromLatin1(cld::kPngType), id, img, name};
        };
        auto keyed = [](const QImage& img, QColor u) { return art::flattenForKey(img, u); };
        // Every picture is drawn at the size of the launcher button that shows it.
        auto sizeOf = [](int controlId) {
            const cld::LauncherButton* b = cld::findLauncherButton(controlId);
            return b ? QSize(b->width, b->height) : QSize();
        };
        const QSize win(cld::kLauncherWidth, cld::kLauncherHeight);
        auto cdTile = [&](int id, int control, const char* target, const char* caption, bool hover,
                          const char* name) {
            return bmp(id,
                       keyed(art::jobTile(sizeOf(control), Glyph::Disc, QString::fromLatin1(target),
                                          QString::fromLatin1(caption), hover),
                             under),
                       QString::fromLatin1(name));
        };

        std::vector<Resource> program{
            bmp(cld::IDB_LAUNCHER_MASK, art::windowMask(win), QStringLiteral("mask")),
            bmp(cld::IDB_LAUNCHER_BACKGROUND, art::background(win), QStringLiteral("background")),
            bmp(cld::IDB_EXIT, keyed(art::exitButton(sizeOf(cld::IDC_EXIT)), art::kBodyBottom),
                QStringLiteral("exit")),
            bmp(cld::IDB_CLOSE,
                keyed(art::roundControl(sizeOf(cld::IDC_CLOSE_BOX), QStringLiteral("close"), false),
                      headUnder),
                QStringLiteral("close")),
            bmp(cld::IDB_CLOSE_HOVER,
                keyed(art::roundControl(sizeOf(cld::IDC_CLOSE_BOX), QStringLiteral("close"), true),
                      headUnder),
                QStringLiteral("close_hover")),
            bmp(cld::IDB_MINIMIZE_HOVER,
                keyed(art::roundControl(sizeOf(cld::IDC_MINIMIZE_BOX), QStringLiteral("min"), true),
                      headUnder),
                QStringLiteral("min_hover")),
            bmp(cld::IDB_MINIMIZE,
                keyed(
                    art::roundControl(sizeOf(cld::IDC_MINIMIZE_BOX), QStringLiteral("min"), false),
                    headUnder),
                QStringLiteral("min")),
            bmp(cld::IDB_HELP, keyed(art::helpButton(sizeOf(cld::IDC_HELP), false), wingUnder),
                QStringLiteral("help")),
            bmp(cld::IDB_HELP_HOVER, keyed(art::helpButton(sizeOf(cld::IDC_HELP), true), wingUnder),
                QStringLiteral("help_hover")),
            cdTile(cld::IDB_CD2WAV_HOVER, cld::IDC_CD2WAV, "WAV", "CD-Audio to WAV", true,
                   "cd2wav_hover"),
            cdTile(cld::IDB_CD2WAV, cld::IDC_CD2WAV, "WAV", "CD-Audio to WAV", false, "cd2wav"),
            cdTile(cld::IDB_CD2WMA_HOVER, cld::IDC_CD2WMA, "WMA", "CD-Audio to WMA", true,
                   "cd2wma_hover"),
            cdTile(cld::IDB_CD2WMA, cld::IDC_CD2WMA, "WMA", "CD-Audio to WMA", false, "cd2wma"),
            cdTile(cld::IDB_CD2MP3, cld::IDC_CD2MP3, "MP3", "CD-Audio to MP3", false, "cd2mp3"),
            cdTile(cld::IDB_CD2MP3_HOVER, cld::IDC_CD2MP3, "MP3", "CD-Audio to MP3", true,
                   "cd2mp3_hover"),
            Resource{QString::fromLatin1(cld::kIconType), cld::IDI_PROGRAM, art::appIcon(64),
                     QStringLiteral("icon")},
        };

        auto job = [&](int id, int control, Glyph g, const char* target, const char* caption,
                       bool hover, const char* name) {
            return png(id,
                       art::jobTile(sizeOf(control), g, QString::fromLatin1(target),
                                    QString::fromLatin1(caption), hover),
                       QString::fromLatin1(name));
        };
        auto video = [&](int id, int control, Glyph g, const char* caption, bool hover,
                         const char* name) {
            return png(id,
                       art::videoTile(sizeOf(control), g, QStringLiteral("WMV"),
                                      QString::fromLatin1(caption), hover),
                       QString::fromLatin1(name));
        };
        using namespace cld;
        std::vector<Resource> library{
            job(IDPNG_MIC2WMA, IDC_MIC2WMA, Glyph::Mic, "WMA", "Line-In/MIC to WMA", false,
                "mic2wma"),
            job(IDPNG_MIC2WMA_HOVER, IDC_MIC2WMA, Glyph::Mic, "WMA", "Line-In/MIC to WMA", true,
                "mic2wma_hover"),
            job(IDPNG_MIC2MP3, IDC_MIC2MP3, Glyph::Mic, "MP3", "Line-In/MIC to MP3", false,
                "mic2mp3"),
            job(IDPNG_MIC2MP3_HOVER, IDC_MIC2MP3, Glyph::Mic, "MP3", "Line-In/MIC to MP3", true,
                "mic2mp3_hover"),
            job(IDPNG_FOLDER2MP3_HOVER, IDC_FOLDER2MP3, Glyph::Folder, "MP3", "Folder/File to MP3",
                true, "folder2mp3_hover"),
            job(IDPNG_FOLDER2MP3, IDC_FOLDER2MP3, Glyph::Folder, "MP3", "Folder/File to MP3", false,
                "folder2mp3"),
            job(IDPNG_FOLDER2WMA_HOVER, IDC_FOLDER2WMA, Glyph::Folder, "WMA", "Folder/File to WMA",
                true, "folder2wma_hover"),
            job(IDPNG_FOLDER2WMA, IDC_FOLDER2WMA, Glyph::Folder, "WMA", "Folder/File to WMA", false,
                "folder2wma"),
            job(IDPNG_MP32WAV_HOVER, IDC_MP32WAV, Glyph::Mp3Doc, "WAV", "MP3 to WAV", true,
                "mp32wav_hover"),
            job(IDPNG_MP32WAV, IDC_MP32WAV, Glyph::Mp3Doc, "WAV", "MP3 to WAV", false, "mp32wav"),
            job(IDPNG_WMA2WAV_HOVER, IDC_WMA2WAV, Glyph::WmaDoc, "WAV", "WMA to WAV", true,
                "wma2wav_hover"),
            job(IDPNG_WMA2WAV, IDC_WMA2WAV, Glyph::WmaDoc, "WAV", "WMA to WAV", false, "wma2wav"),
            video(IDPNG_AVI2WMV_HOVER, IDC_AVI2WMV, Glyph::Film, "AVI/MPG to WMV", true,
                  "avi2wmv_hover"),
            video(IDPNG_AVI2WMV, IDC_AVI2WMV, Glyph::Film, "AVI/MPG to WMV", false, "avi2wmv"),
            video(IDPNG_CAPTURE2WMV_HOVER, IDC_CAPTURE2WMV, Glyph::Capture, "Capture to WMV", true,
                  "capture2wmv_hover"),
            video(IDPNG_CAPTURE2WMV, IDC_CAPTURE2WMV, Glyph::Capture, "Capture to WMV", false,
                  "capture2wmv"),
            png(IDPNG_ABOUT_HOVER,
                art::roundControl(sizeOf(IDC_ABOUT), QStringLiteral("about"), true),
                QStringLiteral("about_hover")),
            png(IDPNG_ABOUT, art::roundControl(sizeOf(IDC_ABOUT), QStringLiteral("about"), false),
                QStringLiteral("about")),
            png(IDPNG_OPTIONS_HOVER, art::optionsButton(sizeOf(IDC_OPTIONS), true),
                QStringLiteral("options_hover")),
            png(IDPNG_OPTIONS, art::optionsButton(sizeOf(IDC_OPTIONS), false),
                QStringLiteral("options")),
            png(IDPNG_AUDIO_PANEL,
                art::panelTile(sizeOf(IDC_AUDIO_PANEL), Glyph::Speaker, QStringLiteral("Audio"),
                               false),
                QStringLiteral("audio")),
            png(IDPNG_AUDIO_PANEL_LIT,
                art::panelTile(sizeOf(IDC_AUDIO_PANEL), Glyph::Speaker, QStringLiteral("Audio"),
                               true),
                QStringLiteral("audio_lit")),
            png(IDPNG_VIDEO_PANEL_LIT,
                art::panelTile(sizeOf(IDC_VIDEO_PANEL), Glyph::Camera, QStringLiteral("Video"),
                               true),
                QStringLiteral("video_lit")),
            png(IDPNG_VIDEO_PANEL,
                art::panelTile(sizeOf(IDC_VIDEO_PANEL), Glyph::Camera, QStringLiteral("Video"),
                               false),
                QStringLiteral("video")),
            png(IDPNG_SPLASH, art::splash({kSplashWidth, kSplashHeight}), QStringLiteral("splash")),
        };
        programOut = std::move(program);
        libraryOut = std::move(library);
    };

    std::vector<Resource> program;
    std::vector<Resource> library;
    drawAll(program, library);
    // The same pictures at twice the pixels for high-DPI screens, under types of their own
    // ("BITMAP@2X", "PNG@2X"); the window's shape needs none, as it is a region.
    art::setScale(2);
    {
        std::vector<Resource> program2;
        std::vector<Resource> library2;
        drawAll(program2, library2);
        for (auto* list : {&program2, &library2})
            for (Resource& r : *list) {
                r.type += QString::fromLatin1(cld::kDoubleResolutionSuffix);
                r.name += QStringLiteral("@2x");
            }
        for (Resource& r : program2)
            if (r.id != cld::IDB_LAUNCHER_MASK)
                program.push_back(std::move(r));
        for (Resource& r : library2)
            library.push_back(std::move(r));
    }
    art::setScale(1);

    for (const auto* list : {&program, &library}) {
        for (const Resource& r : *list) {
            if (r.image.isNull()) {
                std::fprintf(stderr, "cld_artwork: picture %d could not be drawn\n", r.id);
                return 1;
            }
            const QString file = QStringLiteral("%1/images/%2_%3_%4.png")
                                     .arg(outDir, r.type.toLower())
                                     .arg(r.id)
                                     .arg(r.name);
            if (!r.image.save(file, "PNG")) {
                std::fprintf(stderr, "cld_artwork: cannot write %s\n", qPrintable(file));
                return 1;
            }
        }
    }

    // The desktop's icon theme: every usual size, drawn at that size, and a scalable one.
    const QString iconName = QString::fromLatin1(cld::identity::kDesktopId);
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1/icons/hicolor/%2x%2/apps").arg(outDir).arg(size);
        QDir().mkpath(folder);
        if (!art::appIcon(size).save(folder + QLatin1Char('/') + iconName + QStringLiteral(".png"),
                                     "PNG")) {
            std::fprintf(stderr, "cld_artwork: cannot write the %dx%d icon\n", size, size);
            return 1;
        }
    }
    const QString scalable = outDir + QStringLiteral("/icons/hicolor/scalable/apps");
    QDir().mkpath(scalable);
    if (!writeFile(scalable + QLatin1Char('/') + iconName + QStringLiteral(".svg"),
                   art::appIconSvg())) {
        std::fprintf(stderr, "cld_artwork: cannot write the scalable icon\n");
        return 1;
    }

    QByteArray appSource = "// Generated by cld_artwork. Do not edit.\n"
                           "#include \"ProgramResources.h\"\n\nnamespace {\n";
    appSource += tableSource(program);
    appSource += "} // namespace\n\n"
                 "std::span<const unsigned char> cldProgramResource(const char* type, int id) {\n"
                 "    const Entry* e = findEntry(type, id);\n"
                 "    if (!e)\n        return {};\n"
                 "    return {e->data, e->size};\n}\n";

    QByteArray libSource = "// Generated by cld_artwork. Do not edit.\n\nnamespace {\n";
    libSource += tableSource(library);
    libSource +=
        "} // namespace\n\n"
        "// Looks up an image resource by type and id: 1 with its bytes, 0 when absent.\n"
        "extern \"C\" __attribute__((visibility(\"default\"))) int\n"
        "CLDResFind(const char* type, int id, const unsigned char** data, unsigned long* size) {\n"
        "    const Entry* e = findEntry(type, id);\n"
        "    if (!e || !data || !size)\n        return 0;\n"
        "    *data = e->data;\n    *size = e->size;\n    return 1;\n}\n";

    if (!writeFile(outDir + QStringLiteral("/appres_data.cpp"), appSource) ||
        !writeFile(outDir + QStringLiteral("/cldres_data.cpp"), libSource)) {
        std::fprintf(stderr, "cld_artwork: cannot write the resource sources\n");
        return 1;
    }
    return 0;
}
