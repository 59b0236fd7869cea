#pragma once

#include <string>
#include <vector>

// The words of a cue sheet's lines, shared by every reader of cue sheets. No Qt.
namespace cld::cue {

// Splits a line into words at blanks; a word in double quotes may hold blanks and loses
// its quotes. A quote left open takes the rest of the line as its word, and the result is
// false; otherwise true.
bool splitWords(const std::string& line, std::vector<std::string>& words);

// The text with its letters in upper case: keywords and file types match in any case.
std::string upperCase(std::string text);

} // namespace cld::cue
