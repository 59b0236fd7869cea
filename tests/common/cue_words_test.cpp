// The words of cue sheet lines as both cue sheet readers see them.

#include "CueWords.h"

#include <gtest/gtest.h>

using cld::cue::splitWords;
using cld::cue::upperCase;
using Words = std::vector<std::string>;

namespace {

Words wordsOf(const std::string& line, bool& closed) {
    Words w{"left over"};
    closed = splitWords(line, w);
    return w;
}

} // namespace

TEST(CueWordsTest, SplitsAtBlanksAndKeepsQuotedBlanks) {
    bool closed = false;
    EXPECT_EQ(wordsOf("  FILE \"My Song.wav\"\tWAVE\r", closed),
              (Words{"FILE", "My Song.wav", "WAVE"}));
    EXPECT_TRUE(closed);
    EXPECT_EQ(wordsOf("TITLE \"\"", closed), (Words{"TITLE", ""}));
    EXPECT_TRUE(closed);
    EXPECT_EQ(wordsOf("PERFORMER \"A\"\"B\" x", closed), (Words{"PERFORMER", "A", "B", "x"}));
    EXPECT_TRUE(closed);
    EXPECT_EQ(wordsOf(" \t ", closed), Words{});
    EXPECT_TRUE(closed);
}

TEST(CueWordsTest, AnOpenQuoteTakesTheRestOfTheLineAndSaysSo) {
    bool closed = true;
    EXPECT_EQ(wordsOf("FILE \"never closed.wav WAVE", closed),
              (Words{"FILE", "never closed.wav WAVE"}));
    EXPECT_FALSE(closed);
    EXPECT_EQ(wordsOf("TITLE \"", closed), (Words{"TITLE", ""}));
    EXPECT_FALSE(closed);
}

TEST(CueWordsTest, UpperCaseTouchesLettersOnly) {
    EXPECT_EQ(upperCase("Mode1/2352 wave"), "MODE1/2352 WAVE");
    EXPECT_EQ(upperCase("\xC3\xA4x"), "\xC3\xA4X");
}
