#pragma once

#include <string>
#include <vector>

namespace cld {

// A language library's translation source: plain UTF-8 text, one entry per line.
//
//   program "CLD"                    the program the library belongs to
//   string 101 "&Über Calderine..."  a string-table text
//   caption 176 "Calderine - ..."    a dialog's caption
//   control 176 1140 "&Proxy-Server" the text of one control of a dialog
//
// Texts are in double quotes with the escapes \n, \t, \" and \\. Empty lines and lines
// starting with '#' are ignored.
struct TranslationEntry {
    enum class Kind { String, Caption, Control };
    Kind kind = Kind::String;
    int id = 0;
    int controlId = 0;
    std::string text;
    int line = 0;
};

struct Translation {
    std::string program;
    std::vector<TranslationEntry> entries;
    // "line N: what is wrong", one per bad line; a translation with errors is not used.
    std::vector<std::string> errors;
};

Translation parseTranslation(const std::string& text);

} // namespace cld
