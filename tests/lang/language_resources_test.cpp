#include "AppResources.h"
#include "AppTestKit.h"
#include "BuiltinResources.h"
#include "CAboutDlg.h"
#include "CImageButton.h"
#include "CLDResLibrary.h"
#include "CLauncherDlg.h"
#include "CRegistry.h"
#include "CSuiteApp.h"
#include "CWMFRedistWaitDlg.h"
#include "LanguageResources.h"
#include "LibraryBinding.h"
#include "MessageService.h"
#include "ProductIdentity.h"
#include "ProgramResources.h"
#include "SettingsRecord.h"
#include "StringIds.h"
#include "StringTable.h"
#include "TempDir.h"
#include "TestEnv.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QTimer>
#include <dlfcn.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace fs = std::filesystem;

namespace {

// A loaded library for the length of a test.
class Library {
public:
    explicit Library(const char* path) : m_handle(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {}
    ~Library() {
        if (m_handle)
            dlclose(m_handle);
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    void* handle() const { return m_handle; }

private:
    void* m_handle;
};

std::unique_ptr<ResourceSource> builtin(const CLDResLibrary* pictures = nullptr) {
    return std::make_unique<BuiltinResources>(&cldProgramResource, pictures);
}

TEST(LanguageResources, TheLibraryWinsAndTheProgramFillsTheGaps) {
    Library lib(LANG_TEST_CLD);
    ASSERT_NE(lib.handle(), nullptr);
    const cld::LanguageResources res(lib.handle(), builtin());
    EXPECT_TRUE(res.hasTexts());
    EXPECT_TRUE(res.hasPictures());
    EXPECT_EQ(res.string(102), QStringLiteral("Test: cld beenden"));
    EXPECT_EQ(res.string(103), QStringLiteral("Minimize Calderine."));
    EXPECT_EQ(res.string(1), QString());
    EXPECT_EQ(res.dialogCaption(175), QStringLiteral("Test-Installation"));
    EXPECT_EQ(res.dialogCaption(176), QStringLiteral("Calderine - Options"));
    EXPECT_EQ(res.controlText(175, 1001), QStringLiteral("Test: bitte warten"));
    EXPECT_EQ(res.controlText(175, 1000), QString());
    // The splash picture and the background come from the library; the rest is the
    // program's own.
    for (const QImage& img : {res.image(QStringLiteral("png"), 172), res.bitmap(130)}) {
        ASSERT_FALSE(img.isNull());
        EXPECT_EQ(img.size(), QSize(2, 3));
        EXPECT_EQ(img.pixelColor(1, 2), QColor(0x10, 0x20, 0x30));
    }
    const QImage mask = res.bitmap(129);
    ASSERT_FALSE(mask.isNull());
    EXPECT_EQ(mask.size(), QSize(805, 495));
    EXPECT_EQ(res.bitmap(130).size(), QSize(2, 3));
    EXPECT_FALSE(res.icon(128).isNull());
}

TEST(LanguageResources, WithoutALibraryEverythingIsTheProgramsOwn) {
    const cld::LanguageResources res(nullptr, builtin());
    EXPECT_FALSE(res.hasTexts());
    EXPECT_EQ(res.string(102), QStringLiteral("Exit from Calderine."));
    EXPECT_EQ(res.bitmap(130).size(), QSize(805, 495));
    const cld::LanguageResources bare(nullptr, nullptr);
    EXPECT_EQ(bare.string(102), QString());
    EXPECT_TRUE(bare.bitmap(130).isNull());
    EXPECT_TRUE(bare.icon(128).isNull());
}

TEST(GermanLibrary, EveryTextOfTheProgramHasAGermanTranslation) {
    Library lib(LANG_GERMAN_LIBRARY);
    ASSERT_NE(lib.handle(), nullptr);
    const cld::LanguageResources german(lib.handle(), nullptr);
    std::string missingStrings, missingCaptions, lostPlaceholders;
    for (const cld::StringEntry& e : cld::builtinStrings()) {
        const QString t = german.string(e.id);
        if (t.isEmpty())
            missingStrings += " " + std::to_string(e.id);
        else if (QString::fromUtf8(e.text).contains(QStringLiteral("%1")) &&
                 !t.contains(QStringLiteral("%1")))
            lostPlaceholders += " " + std::to_string(e.id);
    }
    for (const cld::StringEntry& e : cld::builtinDialogCaptions()) {
        if (german.dialogCaption(e.id).isEmpty())
            missingCaptions += " " + std::to_string(e.id);
    }
    EXPECT_EQ(missingStrings, "") << "string ids without a German text (lang/German/German.tr)";
    EXPECT_EQ(missingCaptions, "") << "dialog ids without a German caption";
    EXPECT_EQ(lostPlaceholders, "") << "German texts that lost their %1";
    EXPECT_EQ(german.string(cld::IDS_TIP_CD2WAV),
              QStringLiteral("CD-Audio-Titel in .WAV-Dateien (Windows PCM WAVE) umwandeln."));
}

TEST(GermanLibrary, TheCdTilesCarryGermanCaptionsAndTheRestIsTheProgramsOwn) {
    Library lib(LANG_GERMAN_LIBRARY);
    const cld::LanguageResources german(lib.handle(), builtin());
    const BuiltinResources english(&cldProgramResource, nullptr);
    for (const int id : {cld::IDB_CD2WAV, cld::IDB_CD2WAV_HOVER, cld::IDB_CD2WMA,
                         cld::IDB_CD2WMA_HOVER, cld::IDB_CD2MP3, cld::IDB_CD2MP3_HOVER}) {
        const QImage de = german.bitmap(id);
        const QImage en = english.bitmap(id);
        ASSERT_FALSE(de.isNull()) << id;
        EXPECT_EQ(de.size(), en.size()) << id;
        EXPECT_NE(de.convertToFormat(QImage::Format_RGB32),
                  en.convertToFormat(QImage::Format_RGB32))
            << id;
    }
    // Pictures without words come from the program; the background's words are German.
    EXPECT_EQ(german.bitmap(cld::IDB_CLOSE), english.bitmap(cld::IDB_CLOSE));
    EXPECT_EQ(german.bitmap(cld::IDB_LAUNCHER_MASK), english.bitmap(cld::IDB_LAUNCHER_MASK));
    EXPECT_EQ(german.bitmap(cld::IDB_LAUNCHER_BACKGROUND).size(),
              english.bitmap(cld::IDB_LAUNCHER_BACKGROUND).size());
    EXPECT_NE(german.bitmap(cld::IDB_LAUNCHER_BACKGROUND),
              english.bitmap(cld::IDB_LAUNCHER_BACKGROUND));
    EXPECT_EQ(german.controlText(cld::IDD_LAUNCHER, cld::IDC_CD2WAV),
              QStringLiteral("CD-Audio nach WAV"));
}

TEST(GermanLibrary, EveryLauncherPictureWithWordsIsGermanAtBothScales) {
    Library lib(LANG_GERMAN_LIBRARY);
    CLDResLibrary pictures;
    ASSERT_TRUE(pictures.load(QString::fromStdString(cldtest::binDir().string())));
    const cld::LanguageResources german(lib.handle(), builtin(&pictures));
    const BuiltinResources english(&cldProgramResource, &pictures);
    struct Picture {
        const char* type;
        int id;
    };
    // The six audio job tiles, the two video tiles, Options (pictures of the picture
    // library), Help and Exit (bitmaps).
    const Picture words[] = {{"PNG", cld::IDPNG_MIC2WMA},    {"PNG", cld::IDPNG_MIC2MP3},
                             {"PNG", cld::IDPNG_FOLDER2WMA}, {"PNG", cld::IDPNG_FOLDER2MP3},
                             {"PNG", cld::IDPNG_WMA2WAV},    {"PNG", cld::IDPNG_MP32WAV},
                             {"PNG", cld::IDPNG_AVI2WMV},    {"PNG", cld::IDPNG_CAPTURE2WMV},
                             {"PNG", cld::IDPNG_OPTIONS},    {"BITMAP", cld::IDB_HELP},
                             {"BITMAP", cld::IDB_EXIT},      {"BITMAP", cld::IDB_CD2MP3}};
    for (const Picture& p : words) {
        for (const QString& suffix :
             {QString(), QString::fromLatin1(cld::kDoubleResolutionSuffix)}) {
            const QString type = QString::fromLatin1(p.type) + suffix;
            const QImage de = german.image(type, p.id);
            const QImage en = english.image(type, p.id);
            ASSERT_FALSE(de.isNull()) << p.id << type.toStdString();
            ASSERT_FALSE(en.isNull()) << p.id << type.toStdString();
            EXPECT_EQ(de.size(), en.size()) << p.id << type.toStdString();
            EXPECT_NE(de.convertToFormat(QImage::Format_ARGB32),
                      en.convertToFormat(QImage::Format_ARGB32))
                << p.id << type.toStdString();
        }
    }
    // The tiles' names for a screen reader are German too.
    EXPECT_EQ(german.controlText(cld::IDD_LAUNCHER, cld::IDC_EXIT), QStringLiteral("Beenden"));
    EXPECT_EQ(german.controlText(cld::IDD_LAUNCHER, cld::IDC_CAPTURE2WMV),
              QStringLiteral("Aufnahme nach WMV"));
}

TEST(GermanLibrary, TheRuntimeWaitWindowSpeaksGerman) {
    Library lib(LANG_GERMAN_LIBRARY);
    AppResources::setSource(std::make_unique<cld::LanguageResources>(lib.handle(), builtin()));
    {
        cld::CWMFRedistWaitDlg wait;
        EXPECT_EQ(wait.windowTitle(),
                  QStringLiteral("Windows Media Audio & Video-Dateien werden installiert..."));
        EXPECT_EQ(wait.pleaseWait()->text(),
                  QStringLiteral("Bitte warten, dieser Vorgang kann bis zu 1 Minute dauern."));
    }
    AppResources::setSource(builtin());
    {
        cld::CWMFRedistWaitDlg wait;
        EXPECT_EQ(wait.headline()->text(),
                  QStringLiteral("Installing Windows Media Audio & Video files..."));
        EXPECT_EQ(wait.pleaseWait()->text(),
                  QStringLiteral("Please wait, this process can take up to 1 minute."));
    }
    AppResources::setSource(nullptr);
}

// A program folder with the German library and its help file, the German choice stored.
class StartedInGerman : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(folder() / "German");
        fs::create_symlink(cldtest::binDir() / "libCLDRes.so", folder() / "libCLDRes.so");
        fs::copy_file(LANG_GERMAN_LIBRARY, folder() / "German" / "libCLD_German.so");
        fs::copy_file(cldtest::binDir() / "cld.chm", folder() / "German" / "cld.chm");
        CRegistry reg;
        ASSERT_TRUE(reg.ConnectRoot(HKEY_CURRENT_USER));
        ASSERT_TRUE(reg.CreateKey(cld::identity::kLanguageKeyPath));
        ASSERT_TRUE(reg.WriteString("Language", "German"));
        SettingsRecord record;
        ASSERT_TRUE(record.setWmfRedist(1));
        WaitService::setInstance(std::make_unique<cldtest::QuickWait>(waits));
    }
    void TearDown() override { WaitService::setInstance(nullptr); }
    fs::path folder() const { return home.path() / "program"; }

    cldtest::TempDir home;
    cldtest::ScopedEnv homeEnv{"HOME", home.path().string()};
    cldtest::ScopedEnv odbcEnv{"ODBCINI", (home.path() / "odbc.ini").string()};
    cldtest::ScopedEnv registry{"CLD_REGISTRY_DIR", (home.path() / "registry").string()};
    cldtest::MessageScope messages;
    std::shared_ptr<std::vector<int>> waits = std::make_shared<std::vector<int>>();
};

TEST_F(StartedInGerman, TheLauncherTheAboutBoxAndHelpAreGerman) {
    LibraryBinding binding(cldtest::binDir().string() + "/", "libcldrip.so", "GetClassObject");
    ASSERT_NE(binding.entry(), nullptr) << binding.errorText();
    QString exitTip, cdTip, aboutTitle, aboutVersion;
    bool helpShown = false;
    CSuiteApp::Options options;
    options.programFolder = QString::fromStdString(folder().string());
    options.ripperBinding = &binding;
    options.onLauncherShown = [&](CLauncherDlg& launcher) {
        exitTip = launcher.button(cld::IDC_CLOSE_BOX)->toolTip();
        cdTip = launcher.button(cld::IDC_CD2WAV)->toolTip();
        CAboutDlg about(&launcher);
        aboutTitle = about.windowTitle();
        if (auto* version = about.findChild<QLabel*>(QStringLiteral("version")))
            aboutVersion = version->text();
        launcher.openHelp();
        helpShown = launcher.helpViewer() != nullptr;
        QTimer::singleShot(0, &launcher, [&launcher] { launcher.accept(); });
    };
    CSuiteApp app(std::move(options));
    EXPECT_EQ(app.languages().LanguageCount(), 2);
    EXPECT_EQ(app.languages().currentIndex(), 1);
    EXPECT_EQ(app.run(), 0);
    EXPECT_EQ(exitTip, QStringLiteral("Calderine beenden."));
    EXPECT_EQ(cdTip,
              QStringLiteral("CD-Audio-Titel in .WAV-Dateien (Windows PCM WAVE) umwandeln."));
    EXPECT_EQ(aboutTitle, QStringLiteral("Über Calderine 2002"));
    EXPECT_EQ(aboutVersion, QStringLiteral("Calderine 2002, Version 4.05a"));
    // The help file is the German folder's: the program folder has none.
    EXPECT_TRUE(helpShown);
    EXPECT_TRUE(messages.messages().empty());
    EXPECT_EQ(app.languages().LanguageFolder(), folder().string() + "/German/");
}

TEST_F(StartedInGerman, WithoutAGermanHelpFileHelpIsTheProgramsOwn) {
    fs::remove(folder() / "German" / "cld.chm");
    LibraryBinding binding(cldtest::binDir().string() + "/", "libcldrip.so", "GetClassObject");
    std::vector<bool> helpShown;
    CSuiteApp::Options options;
    options.programFolder = QString::fromStdString(folder().string());
    options.ripperBinding = &binding;
    options.onLauncherShown = [&](CLauncherDlg& launcher) {
        // None anywhere: the message names the program folder's file.
        launcher.openHelp();
        helpShown.push_back(launcher.helpViewer() != nullptr);
        fs::create_symlink(cldtest::binDir() / "cld.chm", folder() / "cld.chm");
        launcher.openHelp();
        helpShown.push_back(launcher.helpViewer() != nullptr);
        QTimer::singleShot(0, &launcher, [&launcher] { launcher.accept(); });
    };
    CSuiteApp app(std::move(options));
    EXPECT_EQ(app.run(), 0);
    EXPECT_EQ(helpShown, (std::vector<bool>{false, true}));
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].stringId, cld::IDS_HELP_MISSING);
    EXPECT_EQ(messages.messages()[0].text,
              QStringLiteral("Fehler: Die Hilfedatei %1 wurde nicht gefunden.")
                  .arg(QString::fromStdString((folder() / "cld.chm").string())));
}

// The user picks German in the options dialog; the running program stays English, the
// next start is German.
TEST_F(StartedInGerman, GermanChosenInTheOptionsDialogShowsAtTheNextStart) {
    CRegistry reg;
    ASSERT_TRUE(reg.ConnectRoot(HKEY_CURRENT_USER));
    ASSERT_TRUE(reg.OpenKey(cld::identity::kLanguageKeyPath));
    ASSERT_TRUE(reg.DeleteValue("Language"));
    reg.CloseKey();
    cldtest::ScopedEnv locale("LC_ALL", "C");
    LibraryBinding binding(cldtest::binDir().string() + "/", "libcldrip.so", "GetClassObject");
    auto run = [&](bool chooseGerman, QStringList* offered) {
        QString tip;
        CSuiteApp::Options options;
        options.programFolder = QString::fromStdString(folder().string());
        options.ripperBinding = &binding;
        options.onLauncherShown = [&](CLauncherDlg& launcher) {
            if (chooseGerman) {
                QTimer::singleShot(0, &launcher, [offered] {
                    for (QWidget* w : QApplication::topLevelWidgets()) {
                        auto* dlg = qobject_cast<QDialog*>(w);
                        if (!dlg || !dlg->isVisible() || dlg->property("cld_id").toInt() != 176)
                            continue;
                        for (QComboBox* box : dlg->findChildren<QComboBox*>()) {
                            if (box->property("cld_id").toInt() != 1150)
                                continue;
                            for (int i = 0; i < box->count(); ++i)
                                offered->push_back(box->itemText(i));
                            box->setCurrentIndex(1);
                        }
                        dlg->accept();
                    }
                });
                launcher.button(cld::IDC_OPTIONS)->click();
            }
            tip = launcher.button(cld::IDC_CLOSE_BOX)->toolTip();
            QTimer::singleShot(0, &launcher, [&launcher] { launcher.accept(); });
        };
        CSuiteApp app(std::move(options));
        EXPECT_EQ(app.run(), 0);
        return tip;
    };
    QStringList offered;
    EXPECT_EQ(run(true, &offered), QStringLiteral("Exit from Calderine."));
    EXPECT_EQ(offered, (QStringList{QStringLiteral("English"), QStringLiteral("German")}));
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].stringId, 216);
    std::string stored;
    ASSERT_TRUE(reg.ConnectRoot(HKEY_CURRENT_USER));
    ASSERT_TRUE(reg.OpenKey(cld::identity::kLanguageKeyPath, KEY_READ));
    ASSERT_TRUE(reg.ReadString("Language", stored));
    EXPECT_EQ(stored, "German");
    EXPECT_EQ(run(false, nullptr), QStringLiteral("Calderine beenden."));
}

TEST_F(StartedInGerman, AStartUpMessageIsGerman) {
    LibraryBinding binding(folder().string() + "/", "libcldrip.so", "GetClassObject");
    CSuiteApp::Options options;
    options.programFolder = QString::fromStdString(folder().string());
    options.ripperBinding = &binding;
    CSuiteApp app(std::move(options));
    EXPECT_EQ(app.run(), 1);
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].stringId, 152);
    EXPECT_EQ(messages.messages()[0].text,
              QStringLiteral("Fehler: cldrip.dll kann nicht initialisiert werden !"));
}

TEST_F(StartedInGerman, WithoutTheLibraryTheProgramIsEnglishAgain) {
    fs::remove(folder() / "German" / "libCLD_German.so");
    LibraryBinding binding(folder().string() + "/", "libcldrip.so", "GetClassObject");
    CSuiteApp::Options options;
    options.programFolder = QString::fromStdString(folder().string());
    options.ripperBinding = &binding;
    CSuiteApp app(std::move(options));
    EXPECT_EQ(app.languages().LanguageCount(), 1);
    EXPECT_EQ(app.run(), 1);
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].text, QStringLiteral("Error: Cannot initialize cldrip.dll !"));
}

} // namespace
