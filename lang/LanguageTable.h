#pragma once

#include <span>
#include <string>

namespace cld {

// One language the user interface can be switched to: the two-letter code, the English
// name (also the name of the folder its libraries sit in) and the name shown to the user.
struct LanguageRow {
    const char* code;
    const char* englishName;
    const char* folder;
    const char* displayName;
};

// Every language, in code order.
std::span<const LanguageRow> languageTable();

// The row whose English name equals `englishName` without regard to ASCII case, or null.
const LanguageRow* findLanguageByName(const std::string& englishName);
// The row of a two-letter code (either case), or null. The newer codes of a few languages
// (he, id, yi, jv, nb, nn) find the rows of their older codes.
const LanguageRow* findLanguageByCode(const std::string& code);

// The English language name of a locale name such as "de_DE.UTF-8" or "pt_BR@euro";
// "C" and "POSIX" are English. Empty when the locale names no language of the table.
std::string languageNameOfLocale(const std::string& locale);

bool equalsNoCase(const std::string& a, const std::string& b);

} // namespace cld
