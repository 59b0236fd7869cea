#include "StringIds.h"
#include "StringTable.h"
#include "TranslationSource.h"

#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string readFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The named string ids of a header's text: "IDS_NAME = 123," lines, by number. An enum
// lets two names share one number without a word from the compiler, so the test reads the
// names from the source.
std::map<int, std::vector<std::string>> namedIds(const std::string& header) {
    std::map<int, std::vector<std::string>> byNumber;
    std::istringstream in(header);
    for (std::string s; std::getline(in, s);) {
        std::istringstream words(s);
        std::string name, equals, number;
        if (!(words >> name >> equals >> number) || name.rfind("IDS_", 0) != 0 || equals != "=")
            continue;
        if (number.size() < 2 || number.back() != ',' ||
            number.find_first_not_of("0123456789") != number.size() - 1)
            continue;
        number.pop_back();
        byNumber[std::stoi(number)].push_back(name);
    }
    return byNumber;
}

// "940: IDS_A IDS_B" for every number that more than one name claims.
std::vector<std::string> collisions(const std::map<int, std::vector<std::string>>& byNumber) {
    std::vector<std::string> out;
    for (const auto& [number, names] : byNumber) {
        if (names.size() < 2)
            continue;
        std::string entry = std::to_string(number) + ":";
        for (const std::string& name : names)
            entry += " " + name;
        out.push_back(entry);
    }
    return out;
}

bool foundByWords(int id) {
    for (const cld::StringIdRange& r : cld::kTextsFoundByWords) {
        if (id >= r.first && id <= r.last)
            return true;
    }
    return false;
}

// Every own id: the named ones and those of the texts found by their words.
std::set<int> allOwnIds(const std::map<int, std::vector<std::string>>& byNumber) {
    std::set<int> ids;
    for (const auto& entry : byNumber)
        ids.insert(entry.first);
    for (const cld::StringIdRange& r : cld::kTextsFoundByWords) {
        for (int id = r.first; id <= r.last; ++id)
            ids.insert(id);
    }
    return ids;
}

TEST(StringIds, CollisionCheckFindsTwoNamesOnOneNumber) {
    const auto sample = namedIds("enum X : int {\n"
                                 "    IDS_FIRST = 940,\n"
                                 "    // a comment = 941,\n"
                                 "    IDS_SECOND = 941,\n"
                                 "    IDS_THIRD = 940,\n"
                                 "};\n");
    ASSERT_EQ(sample.size(), 2u);
    EXPECT_EQ(collisions(sample), std::vector<std::string>{"940: IDS_FIRST IDS_THIRD"});
}

TEST(StringIds, HeaderIsReadAsTheCompilerSeesIt) {
    const auto byNumber = namedIds(readFile(STRING_IDS_HEADER));
    // A few names from each end and the middle, compared with what the compiler made of
    // them, so that a change of layout that the reader misses shows up here.
    const std::pair<int, const char*> probes[] = {
        {cld::IDS_HELP_MISSING, "IDS_HELP_MISSING"},
        {cld::IDS_GRAB_NOT_EXACT, "IDS_GRAB_NOT_EXACT"},
        {cld::IDS_FAILED_FILE, "IDS_FAILED_FILE"},
        {cld::IDS_NAME_WMA_PROFILE, "IDS_NAME_WMA_PROFILE"},
        {cld::IDS_MB_FOUND_WITH_COVER, "IDS_MB_FOUND_WITH_COVER"},
        {cld::IDS_BAD_OFFSET, "IDS_BAD_OFFSET"},
    };
    for (const auto& [number, name] : probes) {
        ASSERT_TRUE(byNumber.contains(number)) << name;
        EXPECT_EQ(byNumber.at(number).front(), name);
    }
    EXPECT_GT(byNumber.size(), 100u);
}

TEST(StringIds, EveryOwnNumberHasOneNameAndNoneFallsAmongTheTextsFoundByWords) {
    const auto byNumber = namedIds(readFile(STRING_IDS_HEADER));
    const std::vector<std::string> twice = collisions(byNumber);
    EXPECT_TRUE(twice.empty()) << "string ids with two names: " << twice.front();
    for (const auto& [number, names] : byNumber)
        EXPECT_FALSE(foundByWords(number)) << names.front() << " = " << number;
    // The ranges neither overlap nor run backwards.
    int previousLast = 0;
    for (const cld::StringIdRange& r : cld::kTextsFoundByWords) {
        EXPECT_LE(r.first, r.last);
        EXPECT_GT(r.first, previousLast);
        previousLast = r.last;
    }
}

TEST(StringIds, EveryOwnIdHasItsEnglishAndGermanText) {
    const std::set<int> ids = allOwnIds(namedIds(readFile(STRING_IDS_HEADER)));
    const cld::Translation german = cld::parseTranslation(readFile(LANG_GERMAN_SOURCE));
    ASSERT_TRUE(german.errors.empty()) << german.errors.front();
    std::set<int> germanIds;
    for (const cld::TranslationEntry& e : german.entries) {
        if (e.kind == cld::TranslationEntry::Kind::String)
            germanIds.insert(e.id);
    }
    for (int id : ids) {
        EXPECT_NE(cld::findEntry(cld::builtinStrings(), id), nullptr) << "no English text: " << id;
        EXPECT_TRUE(germanIds.contains(id)) << "no German text: " << id;
    }
}

TEST(StringIds, EveryOwnTextOfTheBuiltInTableHasItsIdDeclared) {
    const std::set<int> ids = allOwnIds(namedIds(readFile(STRING_IDS_HEADER)));
    // The classic table ends below 900; everything above it is the program's own.
    for (const cld::StringEntry& e : cld::builtinStrings()) {
        if (e.id >= 900) {
            EXPECT_TRUE(ids.contains(e.id)) << "text without a declared id: " << e.id;
        }
    }
}

} // namespace
