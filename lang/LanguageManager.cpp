#include "LanguageManager.h"

#include "CRegistry.h"
#include "LanguageLibraryAbi.h"
#include "LanguageTable.h"
#include "Log.h"
#include "ProductIdentity.h"
#include "cldrip/NameText.h"

#include <algorithm>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace cld {
namespace {

constexpr const char* kLanguageValue = "Language";

std::string envValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// The libraries of one language folder, by file name so that the list is the same on
// every start.
std::vector<std::filesystem::path> librariesIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> found;
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec))
        return found;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::filesystem::path& p = it->path();
        if (p.extension() == ".so" && it->is_regular_file(ec))
            found.push_back(p);
    }
    std::sort(found.begin(), found.end());
    return found;
}

} // namespace

LanguageManager::LanguageManager(std::string programFolder, std::string programFileName,
                                 std::string builtinLanguage, int primaryRule, int fallbackRule)
    : LanguageManager(std::move(programFolder), std::move(programFileName),
                      std::move(builtinLanguage), currentLocales(), primaryRule, fallbackRule) {}

LanguageManager::LanguageManager(std::string programFolder, std::string programFileName,
                                 std::string builtinLanguage, const Locales& locales,
                                 int primaryRule, int fallbackRule)
    : m_programFolder(std::move(programFolder)), m_programFileName(std::move(programFileName)),
      m_builtinLanguage(std::move(builtinLanguage)) {
    if (!m_programFolder.empty() && m_programFolder.back() != '/')
        m_programFolder += '/';
    buildList();
    readStoredChoice();
    if (m_chosen < 0)
        applyDefaultRule(locales, primaryRule, fallbackRule);
}

LanguageManager::~LanguageManager() {
    if (m_library)
        dlclose(m_library);
}

bool LanguageManager::libraryBelongsTo(const std::string& path,
                                       const std::string& programFileName) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* err = dlerror();
        logf(LogLevel::Info, "language library %s cannot be loaded: %s", path.c_str(),
             err ? err : "unknown reason");
        return false;
    }
    bool belongs = false;
    auto info = reinterpret_cast<langabi::InfoFn>(dlsym(handle, langabi::kInfoExport));
    if (info) {
        NameText* record = NameText::Create(nullptr);
        if (record) {
            info(record);
            belongs = equalsNoCase(record->text(), programFileName);
            record->Destroy();
        }
    }
    if (!belongs)
        logf(LogLevel::Info, "%s is not a language library of %s", path.c_str(),
             programFileName.c_str());
    dlclose(handle);
    return belongs;
}

void LanguageManager::buildList() {
    LanguageEntry builtin;
    builtin.englishName = m_builtinLanguage;
    const LanguageRow* row = findLanguageByName(m_builtinLanguage);
    builtin.displayName = row ? row->displayName : m_builtinLanguage;
    builtin.libraryPath = m_programFolder + m_programFileName;
    builtin.folder = m_programFolder;
    m_entries.push_back(std::move(builtin));

    for (const LanguageRow& language : languageTable()) {
        const std::string folder = m_programFolder + language.folder + "/";
        for (const std::filesystem::path& library : librariesIn(folder)) {
            if (!libraryBelongsTo(library.string(), m_programFileName))
                continue;
            m_entries.push_back(
                {language.displayName, language.englishName, library.string(), folder});
        }
    }
}

int LanguageManager::findEntry(const std::string& englishName) const {
    if (englishName.empty())
        return -1;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        if (equalsNoCase(m_entries[i].englishName, englishName))
            return static_cast<int>(i);
    }
    return -1;
}

void LanguageManager::readStoredChoice() {
    CRegistry reg;
    std::string stored;
    if (reg.ConnectRoot(HKEY_CURRENT_USER) && reg.OpenKey(identity::kLanguageKeyPath, KEY_READ) &&
        reg.ReadString(kLanguageValue, stored))
        m_chosen = findEntry(stored);
}

void LanguageManager::applyDefaultRule(const Locales& locales, int primaryRule, int fallbackRule) {
    for (const int rule : {primaryRule, fallbackRule}) {
        const std::string& name = rule == kUserLanguage     ? locales.user
                                  : rule == kSystemLanguage ? locales.system
                                                            : std::string();
        const int index = findEntry(name);
        if (index >= 0) {
            m_chosen = index;
            return;
        }
    }
}

bool LanguageManager::LoadChosenLanguage() {
    if (m_library)
        return true;
    if (m_chosen <= 0 || m_chosen >= LanguageCount())
        return false;
    const std::string& path = m_entries[static_cast<std::size_t>(m_chosen)].libraryPath;
    m_library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_library) {
        const char* err = dlerror();
        logf(LogLevel::Warning, "language library %s cannot be loaded: %s; using %s", path.c_str(),
             err ? err : "unknown reason", m_builtinLanguage.c_str());
        return false;
    }
    return true;
}

bool LanguageManager::SelectLanguage(int index) {
    if (index < 0 || index >= LanguageCount())
        return false;
    m_chosen = index;
    CRegistry reg;
    const std::string& name = m_entries[static_cast<std::size_t>(index)].englishName;
    if (!reg.ConnectRoot(HKEY_CURRENT_USER) ||
        !reg.CreateKey(identity::kLanguageKeyPath, nullptr, REG_OPTION_NON_VOLATILE,
                       KEY_READ | KEY_CREATE_SUB_KEY | KEY_SET_VALUE) ||
        !reg.WriteString(kLanguageValue, name.c_str())) {
        logf(LogLevel::Warning, "the language choice %s could not be stored (error %u)",
             name.c_str(), static_cast<unsigned>(reg.LastError()));
        return false;
    }
    return true;
}

std::string LanguageManager::LanguageFolder() const {
    if (m_chosen <= 0 || m_chosen >= LanguageCount())
        return {};
    return m_entries[static_cast<std::size_t>(m_chosen)].folder;
}

const LanguageEntry* LanguageManager::LanguageAt(int index) const {
    if (index < 0 || index >= LanguageCount())
        return nullptr;
    return &m_entries[static_cast<std::size_t>(index)];
}

std::vector<std::string> LanguageManager::displayNames() const {
    std::vector<std::string> names;
    names.reserve(m_entries.size());
    for (const LanguageEntry& e : m_entries)
        names.push_back(e.displayName);
    return names;
}

std::string LanguageManager::languageOfLocaleFile(const std::string& path) {
    std::ifstream in(path);
    if (!in)
        return {};
    std::string all, messages, lang;
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos || line.empty() || line[0] == '#')
            continue;
        std::string name = line.substr(0, eq);
        std::string value = line.substr(eq + 1);
        if (name.rfind("export ", 0) == 0)
            name = name.substr(7);
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        if (name == "LC_ALL")
            all = value;
        else if (name == "LC_MESSAGES")
            messages = value;
        else if (name == "LANG")
            lang = value;
    }
    const std::string& locale = !all.empty() ? all : !messages.empty() ? messages : lang;
    return languageNameOfLocale(locale);
}

LanguageManager::Locales LanguageManager::currentLocales() {
    Locales locales;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const std::string value = envValue(name);
        if (!value.empty()) {
            locales.user = languageNameOfLocale(value);
            break;
        }
    }
    locales.system = languageOfLocaleFile("/etc/default/locale");
    if (locales.system.empty())
        locales.system = languageOfLocaleFile("/etc/locale.conf");
    return locales;
}

} // namespace cld
