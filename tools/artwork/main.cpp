// cld_artwork OUTDIR
//
// Draws every picture of the program and writes:
//   OUTDIR/appres_data.cpp   the pictures compiled into the program (bitmaps, icon)
//   OUTDIR/cldres_data.cpp   the source of the picture library beside the program
//   OUTDIR/images/*.png      every picture as a file, to look at
#include "Painter.h"

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
    return QStringLiteral("k_%1_%2").arg(r.type).arg(r.id);
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

    using art::Glyph;
    const QColor under = art::kStage;
    const QColor wingUnder(0x1e, 0x26, 0x33);
    const QColor headUnder(0x2e, 0x3a, 0x4c);
    auto bmp = [](int id, const QImage& img, const QString& name) {
        return Resource{QStringLiteral("BITMAP"), id, img, name};
    };
    auto png = [](int id, const QImage& img, const QString& name) {
        return Resource{QStringLiteral("PNG"), id, img, name};
    };
    auto keyed = [](const QImage& img, QColor u) { return art::flattenForKey(img, u); };
    const QSize win(805, 495);

    std::vector<Resource> program{
        bmp(129, art::windowMask(win), QStringLiteral("mask")),
        bmp(130, art::background(win), QStringLiteral("background")),
        bmp(131, keyed(art::exitButton({70, 55}), art::kBodyBottom), QStringLiteral("exit")),
        bmp(132, keyed(art::roundControl({23, 22}, QStringLiteral("close"), false), headUnder),
            QStringLiteral("close")),
        bmp(133, keyed(art::roundControl({23, 22}, QStringLiteral("close"), true), headUnder),
            QStringLiteral("close_hover")),
        bmp(134, keyed(art::roundControl({23, 22}, QStringLiteral("min"), true), headUnder),
            QStringLiteral("min_hover")),
        bmp(135, keyed(art::roundControl({23, 22}, QStringLiteral("min"), false), headUnder),
            QStringLiteral("min")),
        bmp(140, keyed(art::helpButton({47, 51}, false), wingUnder), QStringLiteral("help")),
        bmp(141, keyed(art::helpButton({47, 51}, true), wingUnder), QStringLiteral("help_hover")),
        bmp(142,
            keyed(art::jobTile({148, 92}, Glyph::Disc, QStringLiteral("WAV"),
                               QStringLiteral("CD-Audio to WAV"), true),
                  under),
            QStringLiteral("cd2wav_hover")),
        bmp(143,
            keyed(art::jobTile({148, 92}, Glyph::Disc, QStringLiteral("WAV"),
                               QStringLiteral("CD-Audio to WAV"), false),
                  under),
            QStringLiteral("cd2wav")),
        bmp(155,
            keyed(art::jobTile({148, 92}, Glyph::Disc, QStringLiteral("WMA"),
                               QStringLiteral("CD-Audio to WMA"), true),
                  under),
            QStringLiteral("cd2wma_hover")),
        bmp(156,
            keyed(art::jobTile({148, 92}, Glyph::Disc, QStringLiteral("WMA"),
                               QStringLiteral("CD-Audio to WMA"), false),
                  under),
            QStringLiteral("cd2wma")),
        bmp(160,
            keyed(art::jobTile({145, 89}, Glyph::Disc, QStringLiteral("MP3"),
                               QStringLiteral("CD-Audio to MP3"), false),
                  under),
            QStringLiteral("cd2mp3")),
        bmp(161,
            keyed(art::jobTile({145, 89}, Glyph::Disc, QStringLiteral("MP3"),
                               QStringLiteral("CD-Audio to MP3"), true),
                  under),
            QStringLiteral("cd2mp3_hover")),
        Resource{QStringLiteral("ICON"), 128, art::appIcon(64), QStringLiteral("icon")},
    };

    auto job = [&](int id, QSize s, Glyph g, const char* target, const char* caption, bool hover,
                   const char* name) {
        return png(
            id,
            art::jobTile(s, g, QString::fromLatin1(target), QString::fromLatin1(caption), hover),
            QString::fromLatin1(name));
    };
    auto video = [&](int id, QSize s, Glyph g, const char* caption, bool hover, const char* name) {
        return png(id,
                   art::videoTile(s, g, QStringLiteral("WMV"), QString::fromLatin1(caption), hover),
                   QString::fromLatin1(name));
    };
    std::vector<Resource> library{
        job(107, {157, 95}, Glyph::Mic, "WMA", "Line-In/MIC to WMA", false, "mic2wma"),
        job(108, {157, 95}, Glyph::Mic, "WMA", "Line-In/MIC to WMA", true, "mic2wma_hover"),
        job(110, {157, 95}, Glyph::Mic, "MP3", "Line-In/MIC to MP3", false, "mic2mp3"),
        job(111, {157, 95}, Glyph::Mic, "MP3", "Line-In/MIC to MP3", true, "mic2mp3_hover"),
        job(112, {161, 93}, Glyph::Folder, "MP3", "Folder/File to MP3", true, "folder2mp3_hover"),
        job(113, {161, 93}, Glyph::Folder, "MP3", "Folder/File to MP3", false, "folder2mp3"),
        job(114, {161, 93}, Glyph::Folder, "WMA", "Folder/File to WMA", true, "folder2wma_hover"),
        job(115, {161, 93}, Glyph::Folder, "WMA", "Folder/File to WMA", false, "folder2wma"),
        job(117, {158, 85}, Glyph::Mp3Doc, "WAV", "MP3 to WAV", true, "mp32wav_hover"),
        job(118, {158, 85}, Glyph::Mp3Doc, "WAV", "MP3 to WAV", false, "mp32wav"),
        job(119, {162, 88}, Glyph::WmaDoc, "WAV", "WMA to WAV", true, "wma2wav_hover"),
        job(120, {162, 88}, Glyph::WmaDoc, "WAV", "WMA to WAV", false, "wma2wav"),
        video(121, {160, 159}, Glyph::Film, "AVI/MPG to WMV", true, "avi2wmv_hover"),
        video(122, {160, 159}, Glyph::Film, "AVI/MPG to WMV", false, "avi2wmv"),
        video(123, {151, 150}, Glyph::Capture, "Capture to WMV", true, "capture2wmv_hover"),
        video(124, {151, 150}, Glyph::Capture, "Capture to WMV", false, "capture2wmv"),
        png(125, art::roundControl({26, 26}, QStringLiteral("about"), true),
            QStringLiteral("about_hover")),
        png(126, art::roundControl({26, 26}, QStringLiteral("about"), false),
            QStringLiteral("about")),
        png(127, art::optionsButton({68, 73}, true), QStringLiteral("options_hover")),
        png(128, art::optionsButton({68, 73}, false), QStringLiteral("options")),
        png(129, art::panelTile({132, 105}, Glyph::Speaker, QStringLiteral("Audio"), false),
            QStringLiteral("audio")),
        png(130, art::panelTile({132, 105}, Glyph::Speaker, QStringLiteral("Audio"), true),
            QStringLiteral("audio_lit")),
        png(131, art::panelTile({164, 131}, Glyph::Camera, QStringLiteral("Video"), true),
            QStringLiteral("video_lit")),
        png(132, art::panelTile({164, 131}, Glyph::Camera, QStringLiteral("Video"), false),
            QStringLiteral("video")),
        png(172, art::splash({600, 424}), QStringLiteral("splash")),
    };

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

    QByteArray appSource = "// Generated by cld_artwork. Do not edit.\n"
                           "#include \"ProgramResources.h\"\n\nnamespace {\n";
    appSource += tableSource(program);
    appSource += "} // namespace\n\n"
                 "std::span<const unsigned char> CldProgramResource(const char* type, int id) {\n"
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
