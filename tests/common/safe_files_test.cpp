// Writing files without harming what is there, and the one rule for names made from
// disc names.

#include "SafeFiles.h"
#include "TempDir.h"

#include <atomic>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace cld::files;
namespace fs = std::filesystem;

namespace {

std::string contentOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

void put(const fs::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

// The entries of a folder, hidden ones included.
std::vector<std::string> entries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(SafeName, DiscNamesBecomeOneFileNameEach) {
    EXPECT_EQ(safeName("AC/DC"), "AC-DC");
    EXPECT_EQ(safeName(R"(a\b*c:d?e<f>g|h"i)"), "a-b-c.d.e.f.g.h'i");
    EXPECT_EQ(safeName("../x"), "-x") << "no leading dots: never \"..\", never hidden";
    EXPECT_EQ(safeName(".."), "");
    EXPECT_EQ(safeName(" . .hidden. "), "hidden");
    EXPECT_EQ(safeName("B.log"), "B.log") << "a dot inside stays; the extension is added later";
    EXPECT_EQ(safeName("Op.111"), "Op.111");
    EXPECT_EQ(safeName("Слово/Word: 終"), "Слово-Word. 終");
    // Every line break and direction mark of Unicode goes, so that a name is one line.
    EXPECT_EQ(safeName("A\u2028Summary:\u2029B\u0085C\r\nD\tE\u202EF\u200BG"), "ASummary.BCDEFG");
    // Bytes that are not UTF-8 are read as ISO 8859-1.
    EXPECT_EQ(safeName("Bj\xF6rk"), "Björk");
    EXPECT_EQ(safeName("\xE2\x28\xA1"), "â(¡");
}

TEST(SafeName, LongNamesAreCutOnACharacterBoundary) {
    std::string title;
    for (int i = 0; i < 200; ++i)
        title += "ж"; // two bytes each
    title += "end";
    const std::string cut = safeName(title);
    EXPECT_LE(cut.size(), kNameBytes - kNameReserve);
    EXPECT_EQ(cut.size() % 2, 0u) << "never half a character";
    EXPECT_EQ(cut.substr(0, 4), "жж");
    EXPECT_EQ(safeName(std::string(300, 'x'), 10), std::string(10, 'x'));
    EXPECT_EQ(safeName("abc. . . def", 5), "abc") << "nothing trails a cut name";
}

TEST(SafeFiles, NumberedNamesKeepTheExtension) {
    EXPECT_EQ(numberedPath("/m/A - B.wav", 2), "/m/A - B (2).wav");
    EXPECT_EQ(numberedPath("/m/A - B.log.wav", 3), "/m/A - B.log (3).wav");
    EXPECT_EQ(numberedPath("/m.d/noext", 2), "/m.d/noext (2)");
    EXPECT_EQ(numberedPath("/m/.hidden", 2), "/m/.hidden (2)");

    std::vector<std::string> paths{"/m/a.wav", "/m/b.wav", "/m/a.wav", "/m/a (2).wav", "/m/a.wav"};
    makeDistinct(paths);
    EXPECT_EQ(paths, (std::vector<std::string>{"/m/a.wav", "/m/b.wav", "/m/a (3).wav",
                                               "/m/a (2).wav", "/m/a (4).wav"}));
}

TEST(SafeFiles, KeepBothFindsNamesFreeOnDiskAndInTheJob) {
    cldtest::TempDir dir;
    put(dir.file("a.wav"), "mine");
    put(dir.file("a (2).wav"), "mine too");
    std::vector<std::string> paths{dir.file("a.wav").string(), dir.file("a (3).wav").string()};
    const std::vector<std::size_t> taken = takenPaths(paths);
    ASSERT_EQ(taken, std::vector<std::size_t>{0});
    keepBoth(paths, taken);
    EXPECT_EQ(paths[0], dir.file("a (4).wav").string());
    EXPECT_EQ(paths[1], dir.file("a (3).wav").string());
}

// Whatever already has a name stays as it is, whatever it is; a regular file is replaced
// only when that is allowed, and a link is never followed.
TEST(SafeFiles, MovingIntoPlaceNeverReplacesWhatItMayNot) {
    cldtest::TempDir dir;
    const fs::path outside = dir.file("outside.txt");
    put(outside, "outside");
    put(dir.file("user.wav"), "user");
    fs::create_symlink(outside, dir.file("link.wav"));
    fs::create_symlink(dir.file("nowhere"), dir.file("dangling.wav"));
    ASSERT_EQ(::mkfifo(dir.file("pipe.wav").c_str(), 0644), 0);
    fs::create_directory(dir.file("folder.wav"));

    for (const char* name : {"user.wav", "link.wav", "dangling.wav", "pipe.wav", "folder.wav"}) {
        SCOPED_TRACE(name);
        const fs::path from = dir.file("new");
        put(from, "new");
        EXPECT_FALSE(moveIntoPlace(from.string(), dir.file(name).string(), Replace::Never));
        EXPECT_EQ(errno, EEXIST);
        EXPECT_TRUE(fs::exists(from)) << "the new file is still there to be dealt with";
        const bool regular = std::string(name) == "user.wav";
        EXPECT_EQ(moveIntoPlace(from.string(), dir.file(name).string(), Replace::RegularFile),
                  regular);
        if (regular) {
            EXPECT_EQ(contentOf(dir.file(name)), "new");
            continue;
        }
        fs::remove(from);
    }
    EXPECT_EQ(contentOf(outside), "outside");
    EXPECT_TRUE(fs::is_symlink(dir.file("link.wav")));
    EXPECT_TRUE(fs::is_symlink(dir.file("dangling.wav")));
    EXPECT_FALSE(fs::exists(dir.file("nowhere")));
    EXPECT_EQ(occupantOf(dir.file("pipe.wav").string()), Occupant::Pipe);
    EXPECT_EQ(occupantOf(dir.file("folder.wav").string()), Occupant::Folder);
    EXPECT_EQ(occupantOf(dir.file("free.wav").string()), Occupant::None);
}

// A whole file is written under a fresh name of its own and appears complete; a pipe,
// a link or a folder at the name is left alone and named, and nothing hangs.
TEST(SafeFiles, WriteWholeLeavesNothingHalfWritten) {
    cldtest::TempDir dir;
    std::string error;
    ASSERT_TRUE(writeWhole(dir.file("x.log").string(), "log", Replace::Never, error)) << error;
    EXPECT_EQ(contentOf(dir.file("x.log")), "log");
    EXPECT_FALSE(writeWhole(dir.file("x.log").string(), "again", Replace::Never, error));
    EXPECT_NE(error.find("already exists"), std::string::npos) << error;
    EXPECT_EQ(contentOf(dir.file("x.log")), "log");
    ASSERT_TRUE(writeWhole(dir.file("x.log").string(), "again", Replace::RegularFile, error));
    EXPECT_EQ(contentOf(dir.file("x.log")), "again");

    // The names the program once used for its temporary files are not followed.
    put(dir.file("target"), "target");
    fs::create_symlink(dir.file("target"), dir.file("y.log.part"));
    ASSERT_EQ(::mkfifo(dir.file("z.log.part").c_str(), 0644), 0);
    ASSERT_EQ(::mkfifo(dir.file("pipe.log").c_str(), 0644), 0);
    ASSERT_TRUE(writeWhole(dir.file("y.log").string(), "y", Replace::Never, error)) << error;
    ASSERT_TRUE(writeWhole(dir.file("z.log").string(), "z", Replace::Never, error)) << error;
    EXPECT_FALSE(writeWhole(dir.file("pipe.log").string(), "p", Replace::RegularFile, error));
    EXPECT_NE(error.find("it is a pipe"), std::string::npos) << error;
    EXPECT_EQ(contentOf(dir.file("target")), "target");
    EXPECT_EQ(entries(dir.path()), (std::vector<std::string>{"pipe.log", "target", "x.log", "y.log",
                                                             "y.log.part", "z.log", "z.log.part"}))
        << "no temporary file is left";

    EXPECT_FALSE(writeWhole(dir.file("missing/w.log").string(), "w", Replace::Never, error));
    EXPECT_NE(error.find("missing/w.log"), std::string::npos) << error;
}

// A temporary file is created new, and a leftover of a process that died is removed
// while one still being written stays.
TEST(SafeFiles, TemporariesAreFreshAndLeftoversOfDeadRunsGo) {
    cldtest::TempDir dir;
    std::string held;
    const int fd = createTemporary(dir.path().string(), held);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(fs::path(held).parent_path(), dir.path());
    EXPECT_EQ(fs::path(held).filename().string().rfind(kTempPrefix, 0), 0u);

    // A run that was killed: its file is no longer held open by anyone.
    std::string dead;
    const pid_t child = ::fork();
    if (child == 0) {
        std::string path;
        const int own = createTemporary(dir.path().string(), path);
        std::ofstream(dir.file("dead-name")) << path;
        ::_exit(own >= 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    dead = contentOf(dir.file("dead-name"));
    ASSERT_TRUE(fs::exists(dead));
    put(dir.file(".cld-notmine.txt"), "user");

    EXPECT_EQ(removeStaleTemporaries(dir.path().string()), 1);
    EXPECT_FALSE(fs::exists(dead));
    EXPECT_TRUE(fs::exists(held)) << "still being written";
    EXPECT_TRUE(fs::exists(dir.file(".cld-notmine.txt")));
    ::close(fd);

    const std::string folder = createTemporaryFolder(dir.path().string());
    ASSERT_FALSE(folder.empty());
    struct stat st {};
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

// A temporary file is its writer's from the moment its name appears: a clean-up of
// leftovers running meanwhile in the same folder (another job, the ripper) never takes it.
TEST(SafeFiles, ACleanUpRunningMeanwhileNeverTakesANewTemporary) {
    cldtest::TempDir dir;
    const std::string folder = dir.path().string();
    std::atomic<bool> stop{false};
    std::thread cleaner([&] {
        while (!stop.load())
            removeUnlockedTemporaries(folder, kTempPrefix);
    });
    int lost = 0;
    for (int i = 0; i < 1000 && lost == 0; ++i) {
        std::string path;
        const int fd = createTemporary(folder, path);
        ASSERT_GE(fd, 0);
        struct stat st {};
        // The name still leads to the writer's file.
        if (::stat(path.c_str(), &st) != 0)
            ++lost;
        ::unlink(path.c_str());
        ::close(fd);
    }
    stop = true;
    cleaner.join();
    EXPECT_EQ(lost, 0);
}
