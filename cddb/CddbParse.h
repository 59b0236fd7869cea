#pragma once

#include "CddbMatch.h"
#include "CddbServer.h"
#include "XmcdEntry.h"

#include <optional>
#include <string_view>

// Parsers for the texts a CDDB server returns. They take any byte sequence, never throw
// and return false on malformed input. Text is passed through byte for byte.

// Cuts the first line off `text` into `line` (without its terminator). A line ends at the
// first CR LF; only when the text holds no CR LF at all does the first LF end it. Returns
// the text after the terminator, or nothing when there was none (`line` is then the
// whole text, the last line).
std::optional<std::string_view> splitLine(std::string_view text, std::string_view& line);

// The text after the first line, without cutting anything; nothing for the last line.
std::optional<std::string_view> nextLine(std::string_view text);

// The first three characters as a decimal number; -1 when the text is shorter or they
// are not digits.
int statusCode(std::string_view text);

// A line starting with "#" is a comment; its text is the rest, trimmed of white space at
// both ends, and empty when that leaves one character or none.
bool parseComment(std::string_view line, std::string& text);

// Splits "key=value" at the first "=" and decodes the escapes \n, \t and \\ in the value.
bool parseKeyValue(std::string_view line, std::string& key, std::string& value);

// "category discid artist / title", one line of a query answer.
bool parseMatchLine(std::string_view line, CddbMatch& match);

// "site protocol port address latitude longitude description", one line of a sites
// answer; only "http" sites are accepted.
bool parseServerLine(std::string_view line, CddbServer& server);

// The body of a read answer (status line first, end marker removed). On failure the
// entry is left partly filled.
bool parseXmcd(std::string_view body, XmcdEntry& entry);
