// Draws the pictures of a language library whose launcher buttons carry words, with the
// button captions of its translation source (control texts of the launcher, dialog 102),
// at the ordinary scale and at twice the pixels:
//   cld_langart <translation file> <output .cpp>
// The output defines the library's picture lookup, CLDLangResource.
#include "FrameLayout.h"
#include "Painter.h"
#include "ResourceIds.h"
#include "StringIds.h"
#include "TranslationSource.h"

#include <QBuffer>
#include <QGuiApplication>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

enum class Art { CdTile, JobTile, VideoTile, Help, Options, Exit };

struct Tile {
    const char* type; // the resource type the launcher asks for
    int id;
    int controlId;
    Art art;
    art::Glyph glyph;
    const char* target;
    bool hover;
};

// Every launcher picture that carries words: the CD tiles (bitmaps of the resource
// module), the other job tiles (pictures), Help, Options and Exit.
constexpr Tile kTiles[] = {
    {cld::kBitmapType, cld::IDB_CD2WAV_HOVER, cld::IDC_CD2WAV, Art::CdTile, art::Glyph::Disc, "WAV",
     true},
    {cld::kBitmapType, cld::IDB_CD2WAV, cld::IDC_CD2WAV, Art::CdTile, art::Glyph::Disc, "WAV",
     false},
    {cld::kBitmapType, cld::IDB_CD2WMA_HOVER, cld::IDC_CD2WMA, Art::CdTile, art::Glyph::Disc, "WMA",
     true},
    {cld::kBitmapType, cld::IDB_CD2WMA, cld::IDC_CD2WMA, Art::CdTile, art::Glyph::Disc, "WMA",
     false},
    {cld::kBitmapType, cld::IDB_CD2MP3, cld::IDC_CD2MP3, Art::CdTile, art::Glyph::Disc, "MP3",
     false},
    {cld::kBitmapType, cld::IDB_CD2MP3_HOVER, cld::IDC_CD2MP3, Art::CdTile, art::Glyph::Disc, "MP3",
     true},
    {cld::kPngType, cld::IDPNG_MIC2WMA, cld::IDC_MIC2WMA, Art::JobTile, art::Glyph::Mic, "WMA",
     false},
    {cld::kPngType, cld::IDPNG_MIC2WMA_HOVER, cld::IDC_MIC2WMA, Art::JobTile, art::Glyph::Mic,
     "WMA", true},
    {cld::kPngType, cld::IDPNG_MIC2MP3, cld::IDC_MIC2MP3, Art::JobTile, art::Glyph::Mic, "MP3",
     false},
    {cld::kPngType, cld::IDPNG_MIC2MP3_HOVER, cld::IDC_MIC2MP3, Art::JobTile, art::Glyph::Mic,
     "MP3", true},
    {cld::kPngType, cld::IDPNG_FOLDER2MP3, cld::IDC_FOLDER2MP3, Art::JobTile, art::Glyph::Folder,
     "MP3", false},
    {cld::kPngType, cld::IDPNG_FOLDER2MP3_HOVER, cld::IDC_FOLDER2MP3, Art::JobTile,
     art::Glyph::Folder, "MP3", true},
    {cld::kPngType, cld::IDPNG_FOLDER2WMA, cld::IDC_FOLDER2WMA, Art::JobTile, art::Glyph::Folder,
     "WMA", false},
    {cld::kPngType, cld::IDPNG_FOLDER2WMA_HOVER, cld::IDC_FOLDER2WMA, Art::JobTile,
     art::Glyph::Folder, "WMA", true},
    {cld::kPngType, cld::IDPNG_MP32WAV, cld::IDC_MP32WAV, Art::JobTile, art::Glyph::Mp3Doc, "WAV",
     false},
    {cld::kPngType, cld::IDPNG_MP32WAV_HOVER, cld::IDC_MP32WAV, Art::JobTile, art::Glyph::Mp3Doc,
     "WAV", true},
    {cld::kPngType, cld::IDPNG_WMA2WAV, cld::IDC_WMA2WAV, Art::JobTile, art::Glyph::WmaDoc, "WAV",
     false},
    {cld::kPngType, cld::IDPNG_WMA2WAV_HOVER, cld::IDC_WMA2WAV, Art::JobTile, art::Glyph::WmaDoc,
     "WAV", true},
    {cld::kPngType, cld::IDPNG_AVI2WMV, cld::IDC_AVI2WMV, Art::VideoTile, art::Glyph::Film, "WMV",
     false},
    {cld::kPngType, cld::IDPNG_AVI2WMV_HOVER, cld::IDC_AVI2WMV, Art::VideoTile, art::Glyph::Film,
     "WMV", true},
    {cld::kPngType, cld::IDPNG_CAPTURE2WMV, cld::IDC_CAPTURE2WMV, Art::VideoTile,
     art::Glyph::Capture, "WMV", false},
    {cld::kPngType, cld::IDPNG_CAPTURE2WMV_HOVER, cld::IDC_CAPTURE2WMV, Art::VideoTile,
     art::Glyph::Capture, "WMV", true},
    {cld::kBitmapType, cld::IDB_HELP, cld::IDC_HELP, Art::Help, art::Glyph::Disc, "", false},
    {cld::kBitmapType, cld::IDB_HELP_HOVER, cld::IDC_HELP, Art::Help, art::Glyph::Disc, "", true},
    {cld::kPngType, cld::IDPNG_OPTIONS, cld::IDC_OPTIONS, Art::Options, art::Glyph::Disc, "",
     false},
    {cld::kPngType, cld::IDPNG_OPTIONS_HOVER, cld::IDC_OPTIONS, Art::Options, art::Glyph::Disc, "",
     true},
    {cld::kBitmapType, cld::IDB_EXIT, cld::IDC_EXIT, Art::Exit, art::Glyph::Disc, "", false},
};

// A caption as the picture shows it: without the mnemonic marks.
QString drawnText(const std::string& text) {
    QString out;
    const QString in = QString::fromStdString(text);
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == QLatin1Char('&') && i + 1 < in.size() && in[i + 1] != QLatin1Char('&'))
            continue;
        if (in[i] == QLatin1Char('&'))
            ++i;
        out += in[i];
    }
    return out;
}

QImage draw(const Tile& t, const QString& caption) {
    const cld::LauncherButton* b = cld::findLauncherButton(t.controlId);
    if (!b)
        return {};
    const QSize size(b->width, b->height);
    const QString target = QString::fromLatin1(t.target);
    // Bitmaps carry magenta where they are transparent, on the colour they sit on.
    const QColor wingUnder(0x1e, 0x26, 0x33);
    switch (t.art) {
    case Art::CdTile:
        return art::flattenForKey(art::jobTile(size, t.glyph, target, caption, t.hover),
                                  art::kStage);
    case Art::JobTile:
        return art::jobTile(size, t.glyph, target, caption, t.hover);
    case Art::VideoTile:
        return art::videoTile(size, t.glyph, target, caption, t.hover);
    case Art::Help:
        return art::flattenForKey(art::helpButton(size, t.hover, caption), wingUnder);
    case Art::Options:
        return art::optionsButton(size, t.hover, caption);
    case Art::Exit:
        return art::flattenForKey(art::exitButton(size, caption), art::kBodyBottom);
    }
    return {};
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: cld_langart <translation file> <output .cpp>\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::ostringstream source;
    source << in.rdbuf();
    const cld::Translation tr = cld::parseTranslation(source.str());
    if (!in || !tr.errors.empty()) {
        std::fprintf(stderr, "%s: not a usable translation\n", argv[1]);
        return 1;
    }
    auto caption = [&](int controlId) -> const std::string* {
        for (const cld::TranslationEntry& e : tr.entries)
            if (e.kind == cld::TranslationEntry::Kind::Control && e.id == cld::IDD_LAUNCHER &&
                e.controlId == controlId)
                return &e.text;
        return nullptr;
    };

    auto stringText = [&](int id) -> const std::string* {
        for (const cld::TranslationEntry& e : tr.entries)
            if (e.kind == cld::TranslationEntry::Kind::String && e.id == id)
                return &e.text;
        return nullptr;
    };
    std::string out = "// Generated by cld_langart; do not edit.\n#include <cstring>\n\n"
                      "namespace {\nstruct Picture { const char* type; int id; "
                      "const unsigned char* data; unsigned long size; };\n";
    std::string table = "constexpr Picture kPictures[] = {\n";
    int count = 0;
    // Appends one picture as PNG bytes and its row of the table; false when it cannot be drawn.
    auto addPicture = [&](const char* kind, int id, const QImage& image, int scale) {
        QByteArray bytes;
        QBuffer buf(&bytes);
        buf.open(QIODevice::WriteOnly);
        if (image.isNull() || !image.save(&buf, "PNG", 9)) {
            std::fprintf(stderr, "cld_langart: picture %d could not be drawn\n", id);
            return false;
        }
        const std::string type =
            std::string(kind) + (scale == 2 ? cld::kDoubleResolutionSuffix : "");
        const std::string symbol = "kPicture" + std::to_string(count++);
        out += "const unsigned char " + symbol + "[] = {";
        for (qsizetype i = 0; i < bytes.size(); ++i)
            out += (i % 24 == 0 ? "\n" : "") +
                   std::to_string(static_cast<unsigned char>(bytes[i])) + ",";
        out += "\n};\n";
        table += "    {\"" + type + "\", " + std::to_string(id) + ", " + symbol + ", sizeof " +
                 symbol + "},\n";
        return true;
    };
    // Every picture at the ordinary scale, then with twice the pixels for high-DPI screens.
    for (const int scale : {1, 2}) {
        art::setScale(scale);
        for (const Tile& t : kTiles) {
            const std::string* text = caption(t.controlId);
            if (!text)
                continue;
            if (!addPicture(t.type, t.id, draw(t, drawnText(*text)), scale))
                return 1;
        }
        // The launcher's background and the splash carry a tagline and a strip of words.
        const std::string* tagline = stringText(cld::IDS_TAGLINE);
        const std::string* launcherStrip = stringText(cld::IDS_LAUNCHER_STRIP);
        const std::string* splashStrip = stringText(cld::IDS_SPLASH_STRIP);
        if (tagline && launcherStrip && splashStrip) {
            const struct {
                const char* type;
                int id;
                QImage image;
            } wide[] = {
                {cld::kBitmapType, cld::IDB_LAUNCHER_BACKGROUND,
                 art::background({cld::kLauncherWidth, cld::kLauncherHeight},
                                 QString::fromStdString(*tagline),
                                 QString::fromStdString(*launcherStrip))},
                {cld::kPngType, cld::IDPNG_SPLASH,
                 art::splash({cld::kSplashWidth, cld::kSplashHeight},
                             QString::fromStdString(*tagline),
                             QString::fromStdString(*splashStrip))},
            };
            for (const auto& w : wide)
                if (!addPicture(w.type, w.id, w.image, scale))
                    return 1;
        }
    }
    art::setScale(1);
    table += "    {nullptr, 0, nullptr, 0},\n};\n";
    out += table + "} // namespace\n\n";
    out += "extern \"C\" __attribute__((visibility(\"default\"))) int\n"
           "CLDLangResource(const char* type, int id, const unsigned char** data, "
           "unsigned long* size) {\n"
           "    if (!type || !data || !size)\n"
           "        return 0;\n"
           "    for (const Picture& p : kPictures) {\n"
           "        if (p.data && p.id == id && std::strcmp(p.type, type) == 0) {\n"
           "            *data = p.data;\n            *size = p.size;\n            return 1;\n"
           "        }\n    }\n    return 0;\n}\n";

    std::ifstream old(argv[2], std::ios::binary);
    std::ostringstream previous;
    if (old)
        previous << old.rdbuf();
    if (old && previous.str() == out)
        return 0;
    old.close();
    std::ofstream file(argv[2], std::ios::binary | std::ios::trunc);
    file << out;
    return file ? 0 : 1;
}
