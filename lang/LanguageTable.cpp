#include "LanguageTable.h"

#include <array>
#include <cctype>

namespace cld {
namespace {

constexpr std::array kLanguages{
    LanguageRow{"AA", "Afar", "Afar", "Afar"},
    LanguageRow{"AB", "Abkhazian", "Abkhazian", "Abkhazian"},
    LanguageRow{"AF", "Afrikaans", "Afrikaans", "Afrikaans"},
    LanguageRow{"AM", "Amharic", "Amharic", "Amharic"},
    LanguageRow{"AR", "Arabic", "Arabic", "Arabic"},
    LanguageRow{"AS", "Assamese", "Assamese", "Assamese"},
    LanguageRow{"AY", "Aymara", "Aymara", "Aymara"},
    LanguageRow{"AZ", "Azerbaijani", "Azerbaijani", "Azerbaijani"},
    LanguageRow{"BA", "Bashkir", "Bashkir", "Bashkir"},
    LanguageRow{"BE", "Byelorussian", "Byelorussian", "Byelorussian"},
    LanguageRow{"BG", "Bulgarian", "Bulgarian", "Bulgarian"},
    LanguageRow{"BH", "Bihari", "Bihari", "Bihari"},
    LanguageRow{"BI", "Bislama", "Bislama", "Bislama"},
    LanguageRow{"BN", "Bengali", "Bengali", "Bengali"},
    LanguageRow{"BO", "Tibetan", "Tibetan", "Tibetan"},
    LanguageRow{"BR", "Breton", "Breton", "Breton"},
    LanguageRow{"CA", "Catalan", "Catalan", "Catalan"},
    LanguageRow{"CO", "Corsican", "Corsican", "Corsican"},
    LanguageRow{"CS", "Czech", "Czech", "Czech"},
    LanguageRow{"CY", "Welsh", "Welsh", "Welsh"},
    LanguageRow{"DA", "Danish", "Danish", "Danish"},
    LanguageRow{"DE", "German", "German", "German"},
    LanguageRow{"DZ", "Bhutani", "Bhutani", "Bhutani"},
    LanguageRow{"EL", "Greek", "Greek", "Greek"},
    LanguageRow{"EN", "English", "English", "English"},
    LanguageRow{"EO", "Esperanto", "Esperanto", "Esperanto"},
    LanguageRow{"ES", "Spanish", "Spanish", "Spanish"},
    LanguageRow{"ET", "Estonian", "Estonian", "Estonian"},
    LanguageRow{"EU", "Basque", "Basque", "Basque"},
    LanguageRow{"FA", "Persian", "Persian", "Persian"},
    LanguageRow{"FI", "Finnish", "Finnish", "Finnish"},
    LanguageRow{"FJ", "Fiji", "Fiji", "Fiji"},
    LanguageRow{"FO", "Faeroese", "Faeroese", "Faeroese"},
    LanguageRow{"FR", "French", "French", "French"},
    LanguageRow{"FY", "Frisian", "Frisian", "Frisian"},
    LanguageRow{"GA", "Irish", "Irish", "Irish"},
    LanguageRow{"GD", "Gaelic", "Gaelic", "Scots Gaelic"},
    LanguageRow{"GL", "Galician", "Galician", "Galician"},
    LanguageRow{"GN", "Guarani", "Guarani", "Guarani"},
    LanguageRow{"GU", "Gujarati", "Gujarati", "Gujarati"},
    LanguageRow{"HA", "Hausa", "Hausa", "Hausa"},
    LanguageRow{"HI", "Hindi", "Hindi", "Hindi"},
    LanguageRow{"HR", "Croatian", "Croatian", "Croatian"},
    LanguageRow{"HU", "Hungarian", "Hungarian", "Hungarian"},
    LanguageRow{"HY", "Armenian", "Armenian", "Armenian"},
    LanguageRow{"IA", "Interlingua", "Interlingua", "Interlingua"},
    LanguageRow{"IE", "Interlingue", "Interlingue", "Interlingue"},
    LanguageRow{"IK", "Inupiak", "Inupiak", "Inupiak"},
    LanguageRow{"IN", "Indonesian", "Indonesian", "Indonesian"},
    LanguageRow{"IS", "Icelandic", "Icelandic", "Icelandic"},
    LanguageRow{"IT", "Italian", "Italian", "Italian"},
    LanguageRow{"IW", "Hebrew", "Hebrew", "Hebrew"},
    LanguageRow{"JA", "Japanese", "Japanese", "Japanese"},
    LanguageRow{"JI", "Yiddish", "Yiddish", "Yiddish"},
    LanguageRow{"JW", "Javanese", "Javanese", "Javanese"},
    LanguageRow{"KA", "Georgian", "Georgian", "Georgian"},
    LanguageRow{"KK", "Kazakh", "Kazakh", "Kazakh"},
    LanguageRow{"KL", "Greenlandic", "Greenlandic", "Greenlandic"},
    LanguageRow{"KM", "Cambodian", "Cambodian", "Cambodian"},
    LanguageRow{"KN", "Kannada", "Kannada", "Kannada"},
    LanguageRow{"KO", "Korean", "Korean", "Korean"},
    LanguageRow{"KS", "Kashmiri", "Kashmiri", "Kashmiri"},
    LanguageRow{"KU", "Kurdish", "Kurdish", "Kurdish"},
    LanguageRow{"KY", "Kirghiz", "Kirghiz", "Kirghiz"},
    LanguageRow{"LA", "Latin", "Latin", "Latin"},
    LanguageRow{"LN", "Lingala", "Lingala", "Lingala"},
    LanguageRow{"LO", "Laothian", "Laothian", "Laothian"},
    LanguageRow{"LT", "Lithuanian", "Lithuanian", "Lithuanian"},
    LanguageRow{"LV", "Latvian", "Latvian", "Latvian"},
    LanguageRow{"MG", "Malagasy", "Malagasy", "Malagasy"},
    LanguageRow{"MI", "Maori", "Maori", "Maori"},
    LanguageRow{"MK", "Macedonian", "Macedonian", "Macedonian"},
    LanguageRow{"ML", "Malayalam", "Malayalam", "Malayalam"},
    LanguageRow{"MN", "Mongolian", "Mongolian", "Mongolian"},
    LanguageRow{"MO", "Moldavian", "Moldavian", "Moldavian"},
    LanguageRow{"MR", "Marathi", "Marathi", "Marathi"},
    LanguageRow{"MS", "Malay", "Malay", "Malay"},
    LanguageRow{"MT", "Maltese", "Maltese", "Maltese"},
    LanguageRow{"MY", "Burmese", "Burmese", "Burmese"},
    LanguageRow{"NA", "Nauru", "Nauru", "Nauru"},
    LanguageRow{"NE", "Nepali", "Nepali", "Nepali"},
    LanguageRow{"NL", "Dutch", "Dutch", "Dutch"},
    LanguageRow{"NO", "Norwegian", "Norwegian", "Norwegian"},
    LanguageRow{"OC", "Occitan", "Occitan", "Occitan"},
    LanguageRow{"OM", "Oromo", "Oromo", "Oromo"},
    LanguageRow{"OR", "Oriya", "Oriya", "Oriya"},
    LanguageRow{"PA", "Punjabi", "Punjabi", "Punjabi"},
    LanguageRow{"PL", "Polish", "Polish", "Polish"},
    LanguageRow{"PS", "Pashto", "Pashto", "Pashto"},
    LanguageRow{"PT", "Portuguese", "Portuguese", "Portuguese"},
    LanguageRow{"QU", "Quechua", "Quechua", "Quechua"},
    LanguageRow{"RM", "Rhaeto-Romance", "Rhaeto-Romance", "Rhaeto-Romance"},
    LanguageRow{"RN", "Kirundi", "Kirundi", "Kirundi"},
    LanguageRow{"RO", "Romanian", "Romanian", "Românã"},
    LanguageRow{"RU", "Russian", "Russian", "Russian"},
    LanguageRow{"RW", "Kinyarwanda", "Kinyarwanda", "Kinyarwanda"},
    LanguageRow{"SA", "Sanskrit", "Sanskrit", "Sanskrit"},
    LanguageRow{"SD", "Sindhi", "Sindhi", "Sindhi"},
    LanguageRow{"SG", "Sangro", "Sangro", "Sangro"},
    LanguageRow{"SH", "Serbo-Croatian", "Serbo-Croatian", "Serbo-Croatian"},
    LanguageRow{"SI", "Singhalese", "Singhalese", "Singhalese"},
    LanguageRow{"SK", "Slovak", "Slovak", "Slovak"},
    LanguageRow{"SL", "Slovenian", "Slovenian", "Slovenian"},
    LanguageRow{"SM", "Samoan", "Samoan", "Samoan"},
    LanguageRow{"SN", "Shona", "Shona", "Shona"},
    LanguageRow{"SO", "Somali", "Somali", "Somali"},
    LanguageRow{"SQ", "Albanian", "Albanian", "Albanian"},
    LanguageRow{"SR", "Serbian", "Serbian", "Serbian"},
    LanguageRow{"SS", "Siswati", "Siswati", "Siswati"},
    LanguageRow{"ST", "Sesotho", "Sesotho", "Sesotho"},
    LanguageRow{"SU", "Sudanese", "Sudanese", "Sudanese"},
    LanguageRow{"SV", "Swedish", "Swedish", "Swedish"},
    LanguageRow{"SW", "Swahili", "Swahili", "Swahili"},
    LanguageRow{"TA", "Tamil", "Tamil", "Tamil"},
    LanguageRow{"TE", "Tegulu", "Tegulu", "Tegulu"},
    LanguageRow{"TG", "Tajik", "Tajik", "Tajik"},
    LanguageRow{"TH", "Thai", "Thai", "Thai"},
    LanguageRow{"TI", "Tigrinya", "Tigrinya", "Tigrinya"},
    LanguageRow{"TK", "Turkmen", "Turkmen", "Turkmen"},
    LanguageRow{"TL", "Tagalog", "Tagalog", "Tagalog"},
    LanguageRow{"TN", "Setswana", "Setswana", "Setswana"},
    LanguageRow{"TO", "Tonga", "Tonga", "Tonga"},
    LanguageRow{"TR", "Turkish", "Turkish", "Turkish"},
    LanguageRow{"TS", "Tsonga", "Tsonga", "Tsonga"},
    LanguageRow{"TT", "Tatar", "Tatar", "Tatar"},
    LanguageRow{"TW", "Twi", "Twi", "Twi"},
    LanguageRow{"UK", "Ukrainian", "Ukrainian", "Ukrainian"},
    LanguageRow{"UR", "Urdu", "Urdu", "Urdu"},
    LanguageRow{"UZ", "Uzbek", "Uzbek", "Uzbek"},
    LanguageRow{"VI", "Vietnamese", "Vietnamese", "Vietnamese"},
    LanguageRow{"VO", "Volapuk", "Volapuk", "Volapuk"},
    LanguageRow{"WO", "Wolof", "Wolof", "Wolof"},
    LanguageRow{"XH", "Xhosa", "Xhosa", "Xhosa"},
    LanguageRow{"YO", "Yoruba", "Yoruba", "Yoruba"},
    LanguageRow{"ZH", "Chinese", "Chinese", "Chinese"},
    LanguageRow{"ZU", "Zulu", "Zulu", "Zulu"},
};
static_assert(kLanguages.size() == 136);

// Codes that were renamed after the table's list was fixed, mapped to the table's.
struct CodeAlias {
    const char* current;
    const char* table;
};
constexpr CodeAlias kAliases[] = {
    {"HE", "IW"}, {"ID", "IN"}, {"YI", "JI"}, {"JV", "JW"}, {"NB", "NO"}, {"NN", "NO"},
};

std::string upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

std::span<const LanguageRow> languageTable() {
    return kLanguages;
}

bool equalsNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

const LanguageRow* findLanguageByName(const std::string& englishName) {
    for (const LanguageRow& row : kLanguages) {
        if (equalsNoCase(row.englishName, englishName))
            return &row;
    }
    return nullptr;
}

const LanguageRow* findLanguageByCode(const std::string& code) {
    std::string key = upper(code);
    for (const CodeAlias& alias : kAliases) {
        if (key == alias.current)
            key = alias.table;
    }
    for (const LanguageRow& row : kLanguages) {
        if (key == row.code)
            return &row;
    }
    return nullptr;
}

std::string languageNameOfLocale(const std::string& locale) {
    if (locale == "C" || locale == "POSIX" || locale.rfind("C.", 0) == 0)
        return "English";
    // language[_territory][.codeset][@modifier]
    const std::size_t end = locale.find_first_of("_.@");
    const std::string language = locale.substr(0, end);
    if (language.size() != 2)
        return {};
    const LanguageRow* row = findLanguageByCode(language);
    return row ? row->englishName : std::string();
}

} // namespace cld
