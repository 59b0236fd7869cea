#pragma once

#include <string>
#include <vector>

namespace cld {

// One language the program can show: the built-in one (entry 0) or a library found in a
// language folder.
struct LanguageEntry {
    std::string displayName;
    std::string englishName;
    std::string libraryPath;
    std::string folder; // the language folder, ending in "/"
};

// Finds the language libraries below the program folder, remembers the user's choice and
// loads the chosen library at start-up.
//
// Libraries are looked for in <program folder>/<English name>/*.so for every language of
// the table, in table order; a library is used when its "GetLocalizedDllInfo" names this
// program. The choice is stored under HKEY_CURRENT_USER
// "SOFTWARE\Quorvane\Calderine 2002\4.05" as "Language" (the English name). Without a
// usable stored choice the user's language is taken, then the system's.
class LanguageManager {
public:
    // The English language names of the user's and the system's default locales.
    struct Locales {
        std::string user;
        std::string system;
    };

    enum Rule : int { kUserLanguage = 1, kSystemLanguage = 2 };

    // programFolder ends in "/". The locales are read from the environment and the system.
    LanguageManager(std::string programFolder, std::string programFileName,
                    std::string builtinLanguage, int primaryRule = kUserLanguage,
                    int fallbackRule = kSystemLanguage);
    LanguageManager(std::string programFolder, std::string programFileName,
                    std::string builtinLanguage, const Locales& locales,
                    int primaryRule = kUserLanguage, int fallbackRule = kSystemLanguage);
    ~LanguageManager();
    LanguageManager(const LanguageManager&) = delete;
    LanguageManager& operator=(const LanguageManager&) = delete;

    // Loads the chosen library when a language other than the built-in one is chosen.
    // True when a library is loaded afterwards; a library that cannot be loaded leaves the
    // program's own resources in use.
    bool LoadChosenLanguage();
    // Makes index the choice and stores its English name; takes effect at the next start.
    // False for an index outside the list or when the choice could not be stored.
    bool SelectLanguage(int index);
    // The chosen library's folder (ending in "/"), or empty when the built-in language is
    // in use.
    std::string LanguageFolder() const;
    int LanguageCount() const { return static_cast<int>(m_entries.size()); }
    // The entry at index, or null outside the list.
    const LanguageEntry* LanguageAt(int index) const;

    // What the options dialog's language list shows: every display name in list order, and
    // the row of the current choice (0, the built-in language, when none is chosen).
    std::vector<std::string> displayNames() const;
    int currentIndex() const { return m_chosen > 0 ? m_chosen : 0; }

    // The chosen index: -1 when none, 0 for the built-in language.
    int chosenIndex() const { return m_chosen; }
    // The loaded library's handle (dlopen), or null.
    void* libraryHandle() const { return m_library; }

    // The user's language from LC_ALL, LC_MESSAGES and LANG (the first one set), and the
    // system's from its locale settings file ("/etc/default/locale", else
    // "/etc/locale.conf").
    static Locales currentLocales();
    // The language a locale settings file (lines NAME=value) gives: LC_ALL, then
    // LC_MESSAGES, then LANG. Empty when the file has none or cannot be read.
    static std::string languageOfLocaleFile(const std::string& path);
    // True when the library at path exports "GetLocalizedDllInfo" and it names
    // programFileName (without regard to case).
    static bool libraryBelongsTo(const std::string& path, const std::string& programFileName);

private:
    void buildList();
    void readStoredChoice();
    void applyDefaultRule(const Locales& locales, int primaryRule, int fallbackRule);
    int findEntry(const std::string& englishName) const;

    std::string m_programFolder;
    std::string m_programFileName;
    std::string m_builtinLanguage;
    std::vector<LanguageEntry> m_entries;
    int m_chosen = -1;
    void* m_library = nullptr;
};

} // namespace cld
