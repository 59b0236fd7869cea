#pragma once

#include <span>

namespace cld {

// One entry of the program's built-in string table. Ids are fixed: a language library
// carries the same ids with translated texts.
struct StringEntry {
    int id;
    const char* text;
};

// Every string of the built-in table, sorted by id, each id once.
std::span<const StringEntry> builtinStrings();

// Dialog captions of the built-in resources, sorted by dialog id.
std::span<const StringEntry> builtinDialogCaptions();

// Text of a string id in a sorted table, or nullptr.
const char* findEntry(std::span<const StringEntry> table, int id);

} // namespace cld
