#include "CRegistry.h"
#include "LanguageLibraryAbi.h"
#include "LanguageManager.h"
#include "LanguageTable.h"
#include "ProductIdentity.h"
#include "TempDir.h"
#include "TestEnv.h"
#include "TranslationSource.h"

#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>

namespace fs = std::filesystem;
using cld::LanguageManager;

namespace {

TEST(LanguageTable, RowsFollowTheCodeListWithTwoOwnDisplayNames) {
    const auto table = cld::languageTable();
    ASSERT_EQ(table.size(), 136u);
    EXPECT_STREQ(table.front().code, "AA");
    EXPECT_STREQ(table.front().englishName, "Afar");
    EXPECT_STREQ(table.back().code, "ZU");
    EXPECT_STREQ(table.back().englishName, "Zulu");
    std::string previous;
    int ownNames = 0;
    for (const cld::LanguageRow& row : table) {
        EXPECT_LT(previous, row.code) << "codes out of order at " << row.code;
        previous = row.code;
        EXPECT_STREQ(row.folder, row.englishName);
        if (std::string(row.displayName) != row.englishName)
            ++ownNames;
    }
    EXPECT_EQ(ownNames, 2);
    EXPECT_STREQ(cld::findLanguageByCode("gd")->displayName, "Scots Gaelic");
    EXPECT_STREQ(cld::findLanguageByCode("GD")->englishName, "Gaelic");
    EXPECT_STREQ(cld::findLanguageByCode("RO")->displayName, "Românã");
    // Spellings that are folder names exactly as they stand.
    for (const char* name : {"Byelorussian", "Faeroese", "Sangro", "Tegulu", "Rhaeto-Romance",
                             "Serbo-Croatian", "Laothian", "Inupiak"})
        EXPECT_NE(cld::findLanguageByName(name), nullptr) << name;
    EXPECT_STREQ(cld::findLanguageByName("gERMAN")->code, "DE");
    EXPECT_EQ(cld::findLanguageByName("Klingon"), nullptr);
}

TEST(LanguageTable, LocaleNamesGiveTheirLanguage) {
    EXPECT_EQ(cld::languageNameOfLocale("de_DE.UTF-8"), "German");
    EXPECT_EQ(cld::languageNameOfLocale("de"), "German");
    EXPECT_EQ(cld::languageNameOfLocale("pt_BR@euro"), "Portuguese");
    EXPECT_EQ(cld::languageNameOfLocale("ro_RO.UTF-8"), "Romanian");
    // Codes renamed since the table was fixed.
    EXPECT_EQ(cld::languageNameOfLocale("he_IL.UTF-8"), "Hebrew");
    EXPECT_EQ(cld::languageNameOfLocale("id_ID"), "Indonesian");
    EXPECT_EQ(cld::languageNameOfLocale("nb_NO.UTF-8"), "Norwegian");
    EXPECT_EQ(cld::languageNameOfLocale("C"), "English");
    EXPECT_EQ(cld::languageNameOfLocale("C.UTF-8"), "English");
    EXPECT_EQ(cld::languageNameOfLocale("POSIX"), "English");
    for (const char* none : {"", "xx_XX", "fil_PH", "d", "_DE", "@euro"})
        EXPECT_EQ(cld::languageNameOfLocale(none), "") << none;
}

// A program folder and a registry of their own for each test.
class Languages : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(folder()); }
    fs::path folder() const { return dir.path() / "program"; }
    std::string programFolder() const { return folder().string() + "/"; }
    void install(const char* library, const std::string& language, const std::string& as) {
        fs::create_directories(folder() / language);
        fs::copy_file(library, folder() / language / as);
    }
    LanguageManager manager(const LanguageManager::Locales& locales = {}) {
        return LanguageManager(programFolder(), "CLD", "English", locales);
    }
    static std::string stored() {
        CRegistry reg;
        std::string value;
        if (reg.ConnectRoot(HKEY_CURRENT_USER) &&
            reg.OpenKey(cld::identity::kLanguageKeyPath, KEY_READ))
            reg.ReadString("Language", value);
        return value;
    }

    cldtest::TempDir dir;
    cldtest::ScopedEnv registry{"CLD_REGISTRY_DIR", (dir.path() / "registry").string()};
};

TEST_F(Languages, WithoutLanguageFoldersOnlyTheBuiltInLanguageIsThere) {
    // A German folder without libraries, and a language nobody has heard of.
    fs::create_directories(folder() / "German");
    fs::create_directories(folder() / "Klingon");
    LanguageManager m = manager({"German", "French"});
    ASSERT_EQ(m.LanguageCount(), 1);
    EXPECT_EQ(m.LanguageAt(0)->englishName, "English");
    EXPECT_EQ(m.LanguageAt(0)->displayName, "English");
    EXPECT_EQ(m.LanguageAt(0)->folder, programFolder());
    EXPECT_EQ(m.LanguageAt(0)->libraryPath, programFolder() + "CLD");
    EXPECT_EQ(m.LanguageAt(1), nullptr);
    EXPECT_EQ(m.LanguageAt(-1), nullptr);
    EXPECT_EQ(m.chosenIndex(), -1);
    EXPECT_FALSE(m.LoadChosenLanguage());
    EXPECT_EQ(m.libraryHandle(), nullptr);
    EXPECT_EQ(m.LanguageFolder(), "");
    EXPECT_EQ(m.displayNames(), std::vector<std::string>{"English"});
    EXPECT_EQ(m.currentIndex(), 0);
}

TEST_F(Languages, OnlyLibrariesThatNameThisProgramAreListed) {
    install(LANG_TEST_CLD, "German", "libcld_de.so");    // names "cld": accepted
    install(LANG_TEST_OTHER, "French", "libother.so");   // another program: skipped
    install(LANG_TEST_NOINFO, "French", "libnoinfo.so"); // no export: skipped
    std::ofstream(folder() / "French" / "broken.so") << "not a library";
    install(LANG_TEST_CLD, "French", "notes.txt"); // not a library's name: not looked at
    LanguageManager m = manager();
    ASSERT_EQ(m.LanguageCount(), 2);
    const cld::LanguageEntry* german = m.LanguageAt(1);
    EXPECT_EQ(german->englishName, "German");
    EXPECT_EQ(german->displayName, "German");
    EXPECT_EQ(german->libraryPath, (folder() / "German" / "libcld_de.so").string());
    EXPECT_EQ(german->folder, programFolder() + "German/");
    EXPECT_EQ(m.chosenIndex(), -1);
}

TEST_F(Languages, TwoLibrariesInOneFolderGiveTwoEntriesInTableOrder) {
    install(LANG_TEST_CLD, "Romanian", "b.so");
    install(LANG_TEST_CLD, "Romanian", "a.so");
    install(LANG_TEST_CLD, "Afrikaans", "z.so");
    LanguageManager m = manager();
    ASSERT_EQ(m.LanguageCount(), 4);
    EXPECT_EQ(m.displayNames(),
              (std::vector<std::string>{"English", "Afrikaans", "Românã", "Românã"}));
    EXPECT_EQ(m.LanguageAt(2)->libraryPath, (folder() / "Romanian" / "a.so").string());
    EXPECT_EQ(m.LanguageAt(3)->libraryPath, (folder() / "Romanian" / "b.so").string());
}

TEST_F(Languages, AChoiceIsStoredAndUsedAtTheNextStart) {
    install(LANG_TEST_CLD, "German", "libcld_de.so");
    {
        LanguageManager m = manager();
        EXPECT_FALSE(m.SelectLanguage(2));
        EXPECT_FALSE(m.SelectLanguage(-1));
        EXPECT_EQ(stored(), "");
        ASSERT_TRUE(m.SelectLanguage(1));
        EXPECT_EQ(stored(), "German");
        // The running program keeps what it has loaded.
        EXPECT_EQ(m.libraryHandle(), nullptr);
    }
    LanguageManager next = manager({"French", "Italian"});
    EXPECT_EQ(next.chosenIndex(), 1);
    EXPECT_EQ(next.currentIndex(), 1);
    ASSERT_TRUE(next.LoadChosenLanguage());
    ASSERT_NE(next.libraryHandle(), nullptr);
    EXPECT_NE(dlsym(next.libraryHandle(), cld::langabi::kTextExport), nullptr);
    EXPECT_EQ(next.LanguageFolder(), programFolder() + "German/");
    // The built-in language chosen again: nothing is loaded and help is the program's.
    ASSERT_TRUE(next.SelectLanguage(0));
    EXPECT_EQ(stored(), "English");
    LanguageManager english = manager({"German", "German"});
    EXPECT_EQ(english.chosenIndex(), 0);
    EXPECT_FALSE(english.LoadChosenLanguage());
    EXPECT_EQ(english.LanguageFolder(), "");
}

TEST_F(Languages, AStoredLanguageWithoutItsLibraryFallsBackToTheUserThenTheSystem) {
    install(LANG_TEST_CLD, "German", "libcld_de.so");
    install(LANG_TEST_CLD, "French", "libcld_fr.so");
    {
        LanguageManager m = manager();
        ASSERT_TRUE(m.SelectLanguage(2)); // French
    }
    fs::remove_all(folder() / "French");
    EXPECT_EQ(manager({"German", "Italian"}).chosenIndex(), 1); // the user's
    EXPECT_EQ(manager({"Italian", "german"}).chosenIndex(), 1); // the system's
    EXPECT_EQ(manager({"Italian", "Dutch"}).chosenIndex(), -1); // the built-in one
    EXPECT_EQ(manager({"", ""}).chosenIndex(), -1);
    // With the library back, the stored choice wins over the locales again.
    install(LANG_TEST_CLD, "French", "libcld_fr.so");
    EXPECT_EQ(manager({"German", "German"}).chosenIndex(), 2);
}

TEST_F(Languages, ALibraryThatVanishedBeforeStartUpLeavesTheBuiltInLanguage) {
    install(LANG_TEST_CLD, "German", "libcld_de.so");
    LanguageManager m = manager({"German", ""});
    ASSERT_EQ(m.chosenIndex(), 1);
    fs::remove(folder() / "German" / "libcld_de.so");
    EXPECT_FALSE(m.LoadChosenLanguage());
    EXPECT_EQ(m.libraryHandle(), nullptr);
}

TEST_F(Languages, TheUsersLocaleComesFromTheEnvironmentInItsOrder) {
    cldtest::ScopedEnv all("LC_ALL", "");
    cldtest::ScopedEnv messages("LC_MESSAGES", "fr_FR.UTF-8");
    cldtest::ScopedEnv lang("LANG", "de_DE.UTF-8");
    EXPECT_EQ(LanguageManager::currentLocales().user, "French");
    {
        cldtest::ScopedEnv all2("LC_ALL", "it_IT");
        EXPECT_EQ(LanguageManager::currentLocales().user, "Italian");
    }
    cldtest::ScopedEnv messages2("LC_MESSAGES", "");
    EXPECT_EQ(LanguageManager::currentLocales().user, "German");

    const fs::path file = dir.file("locale");
    std::ofstream(file) << "# system locale\nLANG=\"es_ES.UTF-8\"\nLANGUAGE=en\n";
    EXPECT_EQ(LanguageManager::languageOfLocaleFile(file.string()), "Spanish");
    std::ofstream(file) << "LANG=es_ES.UTF-8\nexport LC_MESSAGES='nl_NL'\n";
    EXPECT_EQ(LanguageManager::languageOfLocaleFile(file.string()), "Dutch");
    std::ofstream(file) << "garbage without equals\n=\n";
    EXPECT_EQ(LanguageManager::languageOfLocaleFile(file.string()), "");
    EXPECT_EQ(LanguageManager::languageOfLocaleFile(dir.file("none").string()), "");
}

TEST(TranslationSource, EntriesEscapesAndErrorsByLine) {
    const cld::Translation ok =
        cld::parseTranslation("# comment\nprogram \"CLD\"\n\nstring 101 \"&\xC3\x9C"
                              "ber \\\"x\\\"\\n\\\\\"\n"
                              "caption 176 \"Optionen\"\r\ncontrol 176 1140 \"&Proxy\"\n");
    ASSERT_TRUE(ok.errors.empty()) << ok.errors.front();
    EXPECT_EQ(ok.program, "CLD");
    ASSERT_EQ(ok.entries.size(), 3u);
    EXPECT_EQ(ok.entries[0].text, "&\xC3\x9C"
                                  "ber \"x\"\n\\");
    EXPECT_EQ(ok.entries[2].kind, cld::TranslationEntry::Kind::Control);
    EXPECT_EQ(ok.entries[2].id, 176);
    EXPECT_EQ(ok.entries[2].controlId, 1140);

    const cld::Translation bad = cld::parseTranslation(
        "string 101 \"a\"\nstring 101 \"b\"\nstring x \"c\"\nstring 102 \"open\nstring 103 d\n"
        "control 176 \"e\"\nlabel 1 \"f\"\nstring 104 \"\\q\"\nstring 105 \"g\" tail\n"
        "string 99999 \"h\"\n");
    std::vector<std::string> expected = {
        "line 2: the id 101 is given twice",
        "line 3: an id from 0 to 65535 is expected",
        "line 4: the text has no closing quote",
        "line 5: a text in double quotes is expected",
        "line 6: a control id from 0 to 65535 is expected",
        "line 7: unknown entry \"label\"",
        "line 8: unknown escape \\q",
        "line 9: unexpected text after the closing quote",
        "line 10: an id from 0 to 65535 is expected",
        "the program the translation belongs to is not named",
    };
    EXPECT_EQ(bad.errors, expected);
}

TEST(GermanLibrary, BelongsToTheProgramAndMatchesItsSource) {
    ASSERT_TRUE(LanguageManager::libraryBelongsTo(LANG_GERMAN_LIBRARY, "CLD"));
    EXPECT_FALSE(LanguageManager::libraryBelongsTo(LANG_GERMAN_LIBRARY, "CLDX"));
    std::ifstream in(LANG_GERMAN_SOURCE, std::ios::binary);
    std::ostringstream source;
    source << in.rdbuf();
    const cld::Translation tr = cld::parseTranslation(source.str());
    ASSERT_TRUE(tr.errors.empty()) << tr.errors.front();
    void* lib = dlopen(LANG_GERMAN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    auto text = reinterpret_cast<cld::langabi::TextFn>(dlsym(lib, cld::langabi::kTextExport));
    ASSERT_NE(text, nullptr);
    for (const cld::TranslationEntry& e : tr.entries) {
        const char* t = text(static_cast<int>(e.kind), e.id, e.controlId);
        ASSERT_NE(t, nullptr) << "line " << e.line;
        EXPECT_EQ(std::string(t), e.text) << "line " << e.line;
    }
    EXPECT_EQ(text(cld::langabi::kString, 1, 0), nullptr);
    EXPECT_EQ(text(cld::langabi::kControl, 176, 9999), nullptr);
    dlclose(lib);
}

} // namespace
