#include "CommandLine.h"
#include "ResourceIds.h"
#include "TempDir.h"

#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

namespace {

using cld::CommandLine;

CommandLine parse(std::vector<std::string> args) {
    return cld::parseCommandLine(args);
}

TEST(CommandLine, NoArgumentsStartsTheLauncherAlone) {
    const CommandLine line = parse({});
    EXPECT_EQ(line.action, CommandLine::Action::Run);
    EXPECT_EQ(line.job, nullptr);
    EXPECT_TRUE(line.files.empty());
}

TEST(CommandLine, HelpAndVersionWinOverEverythingElseThatIsValid) {
    EXPECT_EQ(parse({"--help"}).action, CommandLine::Action::Help);
    EXPECT_EQ(parse({"-h"}).action, CommandLine::Action::Help);
    EXPECT_EQ(parse({"--version"}).action, CommandLine::Action::Version);
    EXPECT_EQ(parse({"--job", "mp3-to-wav", "a.mp3", "--version"}).action,
              CommandLine::Action::Version);
    EXPECT_EQ(parse({"--version", "--help"}).action, CommandLine::Action::Help);
    // An option that is not ours is an error even beside --help.
    EXPECT_EQ(parse({"--help", "--frobnicate"}).action, CommandLine::Action::Error);
}

TEST(CommandLine, JobsByNameWithTheirFiles) {
    const CommandLine line = parse({"--job", "mp3-to-wav", "a.mp3", "b.MP3", "-", "--", "-c.mp3"});
    ASSERT_EQ(line.action, CommandLine::Action::Run);
    ASSERT_NE(line.job, nullptr);
    EXPECT_EQ(line.job->controlId, cld::IDC_MP32WAV);
    EXPECT_EQ(line.files, (std::vector<std::string>{"a.mp3", "b.MP3", "-", "-c.mp3"}));

    const CommandLine eq = parse({"--job=cd-to-wav"});
    ASSERT_NE(eq.job, nullptr);
    EXPECT_EQ(eq.job->controlId, cld::IDC_CD2WAV);

    // Every job button of the launcher has exactly one name.
    std::set<int> ids;
    for (const cld::CommandLineJob& job : cld::commandLineJobs()) {
        EXPECT_EQ(cld::findCommandLineJob(job.name), &job);
        EXPECT_TRUE(ids.insert(job.controlId).second) << job.name;
    }
    EXPECT_EQ(ids,
              (std::set<int>{1005, 1006, 1007, 1008, 1009, 1010, 1011, 1012, 1013, 1015, 1016}));
}

TEST(CommandLine, FilesAloneOpenWithTheJobTheirTypeCallsFor) {
    EXPECT_EQ(parse({"/music/x.mp3"}).job->controlId, cld::IDC_MP32WAV);
    EXPECT_EQ(parse({"x.WMA"}).job->controlId, cld::IDC_WMA2WAV);
    EXPECT_EQ(parse({"x.wav", "y.wav"}).job->controlId, cld::IDC_FOLDER2MP3);
    // So do the compressed audio files the MP3 encoder reads; MP3 files stay with MP3 to WAV.
    for (const char* file : {"a.flac", "b.OGG", "c.oga", "d.opus", "e.m4a", "f.aac"})
        EXPECT_EQ(parse({file}).job->controlId, cld::IDC_FOLDER2MP3) << file;
    EXPECT_EQ(parse({"clip.mpeg", "film.avi", "b.mpg"}).job->controlId, cld::IDC_AVI2WMV);
    // A job named outright takes a type of its own choosing.
    EXPECT_EQ(parse({"--job", "wav-to-wma", "x.wav"}).job->controlId, cld::IDC_FOLDER2WMA);
}

TEST(CommandLine, WhatCannotBeFollowedIsAnErrorThatSaysWhy) {
    struct Case {
        std::vector<std::string> args;
        std::string says;
    };
    const std::vector<Case> cases{
        {{"--frobnicate"}, "unknown option \"--frobnicate\""},
        {{"-x"}, "unknown option \"-x\""},
        {{"--job"}, "--job needs the name of a job"},
        {{"--job", "mp3-to-flac", "a.mp3"}, "unknown job \"mp3-to-flac\""},
        {{"--job", "mp3-to-wav", "--job", "wma-to-wav"}, "only once"},
        {{"--job", "cd-to-mp3", "a.mp3"}, "the job cd-to-mp3 opens no files"},
        {{"notes.txt"}, "no job opens \"notes.txt\""},
        {{"noextension"}, "no job opens \"noextension\""},
        {{"a.mp3", "b.wma"}, "\"b.wma\" needs another job than \"a.mp3\""},
    };
    for (const Case& c : cases) {
        const CommandLine line = parse(c.args);
        EXPECT_EQ(line.action, CommandLine::Action::Error) << c.says;
        EXPECT_NE(line.error.find(c.says), std::string::npos) << line.error;
    }
    // The list of jobs comes with an unknown one.
    EXPECT_NE(parse({"--job", "nope"}).error.find("mp3-to-wav"), std::string::npos);
}

TEST(CommandLine, QtsOwnOptionsPassThroughWithTheirValues) {
    const CommandLine line = parse({"-platform", "offscreen", "--style", "fusion", "-style=kvantum",
                                    "-reverse", "-name", "x.mp3", "a.wav"});
    ASSERT_EQ(line.action, CommandLine::Action::Run) << line.error;
    // "x.mp3" was the value of -name, not a file.
    EXPECT_EQ(line.files, std::vector<std::string>{"a.wav"});
    EXPECT_EQ(line.job->controlId, cld::IDC_FOLDER2MP3);
    EXPECT_EQ(parse({"-platformfoo"}).action, CommandLine::Action::Error);
}

TEST(CommandLine, MissingFilesAreFoundBeforeAnyJobStarts) {
    cldtest::TempDir dir;
    const std::string there = dir.file("there.mp3").string();
    std::ofstream(there) << "x";
    EXPECT_EQ(cld::firstMissingFile({there}), "");
    EXPECT_EQ(cld::firstMissingFile({there, there + ".gone", "also.gone"}), there + ".gone");
}

TEST(CommandLine, UsageNamesEveryJobAndVersionTheProduct) {
    const std::string usage = cld::usageText("CLD");
    for (const cld::CommandLineJob& job : cld::commandLineJobs())
        EXPECT_NE(usage.find(std::string("  ") + job.name), std::string::npos) << job.name;
    EXPECT_EQ(cld::versionText(), "Calderine 2002 4.05a\n");
}

} // namespace
