#include "SectorReads.h"
#include "TempDir.h"
#include "TrackJob.h"
#include "WavWriter.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

std::vector<std::uint8_t> fileBytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
           (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

} // namespace

TEST(WavWriter, EmptyAndPartialFilesKeepConsistentHeaders) {
    cldtest::TempDir dir;
    const auto path = dir.file("t.wav");
    {
        WavWriter w;
        ASSERT_TRUE(w.Create(path.string()));
        // Nothing appended: the destructor still finishes the header.
    }
    auto b = fileBytes(path);
    ASSERT_EQ(b.size(), 44u);
    EXPECT_EQ(le32(b, 4), 36u);
    EXPECT_EQ(le32(b, 40), 0u);

    std::vector<std::uint8_t> chunk(26 * 2352, 0x5A);
    WavWriter w;
    // An existing file stays unless the caller allows replacing it.
    EXPECT_FALSE(w.Create(path.string()));
    EXPECT_TRUE(w.NameTaken());
    EXPECT_EQ(fileBytes(path).size(), 44u);
    ASSERT_TRUE(w.Create(path.string(), true));
    ASSERT_TRUE(w.Append(chunk.data(), chunk.size()));
    ASSERT_TRUE(w.Append(chunk.data(), 1000));
    ASSERT_TRUE(w.Finish());
    b = fileBytes(path);
    ASSERT_EQ(b.size(), 44 + chunk.size() + 1000);
    EXPECT_EQ(le32(b, 4), b.size() - 8);
    EXPECT_EQ(le32(b, 40), b.size() - 44);
    EXPECT_TRUE(std::all_of(b.begin() + 44, b.begin() + 44 + static_cast<long>(chunk.size()),
                            [](std::uint8_t v) { return v == 0x5A; }));
}

TEST(WavWriter, HeaderLayout) {
    std::uint8_t h[44];
    WavWriter::MakeHeader(h, 44 + 176400);
    const std::vector<std::uint8_t> b(h, h + 44);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
    EXPECT_EQ(le32(b, 4), 36u + 176400);
    EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(le32(b, 16), 16u);
    EXPECT_EQ(le32(b, 20), 0x00020001u);
    EXPECT_EQ(le32(b, 24), 44100u);
    EXPECT_EQ(le32(b, 28), 176400u);
    EXPECT_EQ(le32(b, 32), 0x00100004u);
    EXPECT_EQ(std::string(b.begin() + 36, b.begin() + 40), "data");
    EXPECT_EQ(le32(b, 40), 176400u);

    // Another layout: 24-bit mono at 48 kHz.
    std::uint8_t m[44];
    WavWriter::MakeHeader(m, 44 + 3000, PcmLayout{48000, 1, 24});
    const std::vector<std::uint8_t> c(m, m + 44);
    EXPECT_EQ(le32(c, 20), 0x00010001u);
    EXPECT_EQ(le32(c, 24), 48000u);
    EXPECT_EQ(le32(c, 28), 144000u);
    EXPECT_EQ(le32(c, 32), 0x00180003u);
    EXPECT_EQ(le32(c, 40), 3000u);
}

TEST(WavWriter, UncreatableFileSaysWhy) {
    cldtest::TempDir dir;
    WavWriter w;
    EXPECT_FALSE(w.Create((dir.path() / "missing" / "t.wav").string()));
    EXPECT_NE(w.Error().find("cannot create"), std::string::npos);
    EXPECT_FALSE(w.Append(reinterpret_cast<const std::uint8_t*>("abcd"), 4));
}

TEST(TrackJob, NamingRules) {
    // Every track file ends in ".wav", whatever the name ends in, so that no track takes
    // the name of a log, a cue sheet or another kind of file.
    EXPECT_EQ(trackFileName("Track01"), "Track01.wav");
    EXPECT_EQ(trackFileName("x.wav"), "x.wav");
    EXPECT_EQ(trackFileName("x.WAV"), "x.WAV");
    EXPECT_EQ(trackFileName("a.mp3"), "a.mp3.wav");
    EXPECT_EQ(trackFileName("A - B.log"), "A - B.log.wav");
    EXPECT_EQ(trackFileName("Op.111"), "Op.111.wav");
    EXPECT_EQ(trackFileName("ab"), "ab.wav");
    EXPECT_EQ(trackFileName(".wav"), ".wav.wav");

    std::string folder;
    ASSERT_TRUE(makeOutputFolder("/music", folder));
    EXPECT_EQ(folder, "/music/");
    ASSERT_TRUE(makeOutputFolder("/music/", folder));
    EXPECT_EQ(folder, "/music/");
    ASSERT_TRUE(makeOutputFolder("", folder));
    EXPECT_EQ(folder, "");

    TrackJob job;
    std::string error;
    ASSERT_TRUE(makeTrackJob(job, 3, "Track04", "/music/", 0, -1, error));
    EXPECT_STREQ(job.fileName, "Track04.wav");
    EXPECT_STREQ(job.fullPath, "/music/Track04.wav");
    EXPECT_EQ(job.trackIndex, 3);
    EXPECT_EQ(job.endSeconds, -1);
}

TEST(TrackJob, LongNamesAndPathsAreRefusedNotCut) {
    std::string folder;
    EXPECT_TRUE(makeOutputFolder(std::string(258, 'd'), folder)); // 259 with the slash
    EXPECT_FALSE(makeOutputFolder(std::string(259, 'd'), folder));
    EXPECT_EQ(folder, std::string(258, 'd') + "/");

    TrackJob job;
    std::string error;
    // 255 + ".wav" = 259 characters fit; one more does not.
    EXPECT_TRUE(makeTrackJob(job, 0, std::string(255, 'n'), "", 0, -1, error));
    EXPECT_FALSE(makeTrackJob(job, 0, std::string(256, 'n'), "", 0, -1, error));
    EXPECT_NE(error.find("longer than 259"), std::string::npos);
    EXPECT_FALSE(makeTrackJob(job, 0, "Track01", std::string(250, 'd') + "/", 0, -1, error));
    EXPECT_NE(error.find("path"), std::string::npos);
}

TEST(SectorReads, CommandBlocksOfEveryReadMethod) {
    struct Row {
        int method;
        int length;
        std::vector<std::uint8_t> bytes;
    };
    // LUN 1, LBA 0x012345, 0x0203 sectors.
    const std::vector<Row> rows = {
        {0, 12, {0xBE, 0x20, 0, 1, 0x23, 0x45, 0, 2, 3, 0xF8, 0, 0}},
        {1, 10, {0x28, 0x20, 0, 1, 0x23, 0x45, 0, 2, 3, 0}},
        {2, 10, {0xD4, 0x20, 0, 1, 0x23, 0x45, 0, 2, 3, 0}},
        {3, 12, {0xD8, 0x20, 0, 1, 0x23, 0x45, 0, 0, 2, 3, 0, 0}},
        {4, 12, {0xBE, 0x24, 0, 1, 0x23, 0x45, 0, 2, 3, 0xF8, 0, 0}},
        {5, 12, {0xBE, 0x20, 0, 1, 0x23, 0x45, 0, 2, 3, 0x10, 0, 0}},
        {6, 12, {0xD4, 0x20, 0, 1, 0x23, 0x45, 0, 0, 2, 3, 0, 0}},
        {7, 10, {0xD5, 0x20, 0, 1, 0x23, 0x45, 0, 2, 3, 0}},
        {8, 12, {0xA8, 0x20, 0, 1, 0x23, 0x45, 0, 0, 2, 3, 0, 0}},
        {9, 12, {0xBE, 0x24, 0, 1, 0x23, 0x45, 0, 2, 3, 0x10, 0, 0}},
    };
    for (const Row& r : rows) {
        std::uint8_t cdb[12];
        EXPECT_EQ(SectorReads::BuildReadCdb(r.method, 1, 0x012345, 0x0203, false, cdb), r.length);
        EXPECT_EQ(std::vector<std::uint8_t>(cdb, cdb + r.length), r.bytes) << "method " << r.method;
    }
    // C2 scans: flag byte 0xFA; methods with the length in bytes 8..9 scan with READ CD.
    std::uint8_t cdb[12];
    EXPECT_EQ(SectorReads::BuildReadCdb(1, 0, 100, 10, true, cdb), 10);
    EXPECT_EQ(std::vector<std::uint8_t>(cdb, cdb + 10),
              (std::vector<std::uint8_t>{0x28, 0, 0, 0, 0, 100, 0, 0, 10, 0xFA}));
    for (int method : {3, 6, 8}) {
        EXPECT_EQ(SectorReads::BuildReadCdb(method, 0, 100, 10, true, cdb), 12);
        EXPECT_EQ(std::vector<std::uint8_t>(cdb, cdb + 12),
                  (std::vector<std::uint8_t>{0xBE, 0, 0, 0, 0, 100, 0, 0, 10, 0xFA, 0, 0}));
    }
}

TEST(SectorReads, ByteOrderAndChannelFixes) {
    std::uint8_t frame[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    SectorReads::FixSamples(frame, 8, true, false);
    EXPECT_EQ(std::vector<std::uint8_t>(frame, frame + 8),
              (std::vector<std::uint8_t>{2, 1, 4, 3, 6, 5, 8, 7}));
    SectorReads::FixSamples(frame, 8, false, true);
    EXPECT_EQ(std::vector<std::uint8_t>(frame, frame + 8),
              (std::vector<std::uint8_t>{4, 3, 2, 1, 8, 7, 6, 5}));
}

TEST(SectorReads, FailedReadsLeaveZerosAndTwoThreadsCoverEverySector) {
    // A drive on memory that serves each sector's LBA in its first bytes and fails
    // reads touching sector 1500.
    std::atomic<int> commands{0};
    SectorReads reads(
        [&](std::uint8_t direction, const std::uint8_t* cdb, int, std::uint8_t* buf, long len) {
            ++commands;
            EXPECT_EQ(direction, 0x08);
            const long lba = (cdb[2] << 24) | (cdb[3] << 16) | (cdb[4] << 8) | cdb[5];
            const long n = (cdb[7] << 8) | cdb[8];
            EXPECT_EQ(len, n * 2352);
            for (long s = 0; s < n; ++s) {
                if (lba + s == 1500)
                    return 4;
                buf[s * 2352] = static_cast<std::uint8_t>(lba + s);
                buf[s * 2352 + 1] = static_cast<std::uint8_t>((lba + s) >> 8);
            }
            return 1;
        },
        SectorReadTable{});
    std::vector<std::uint8_t> buf(1200 * 2352, 0xEE);
    ASSERT_TRUE(reads.ReadSectors(buf.data(), 10, 1200));
    EXPECT_EQ(commands.load(), (1200 + 26) / 27);
    for (long s = 0; s < 1200; ++s) {
        ASSERT_EQ(buf[static_cast<std::size_t>(s * 2352)] |
                      (buf[static_cast<std::size_t>(s * 2352 + 1)] << 8),
                  10 + s);
        ASSERT_EQ(buf[static_cast<std::size_t>(s * 2352 + 2)], 0);
    }
    std::fill(buf.begin(), buf.end(), 0xEE);
    EXPECT_FALSE(reads.ReadSectors(buf.data(), 1490, 26));
    EXPECT_TRUE(
        std::all_of(buf.begin() + 26 * 2352, buf.end(), [](std::uint8_t b) { return b == 0xEE; }));
    EXPECT_FALSE(reads.ReadSectors(buf.data(), 0, 0));

    // A failure inside a two-thread read leaves zeros, not stale bytes, wherever no
    // piece was read.
    std::fill(buf.begin(), buf.end(), 0xEE);
    EXPECT_FALSE(reads.ReadSectors(buf.data(), 1000, 1200));
    for (long sector = 0; sector < 1200; ++sector) {
        const auto body = buf.begin() + sector * 2352 + 2;
        ASSERT_TRUE(std::all_of(body, body + 2350, [](std::uint8_t b) { return b == 0; }))
            << "sector " << sector;
    }
}

namespace {

std::vector<std::string> namesIn(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

// Anything at the track's path that is not a regular file stays as it is; the writer
// refuses it with a reason instead of unlinking or replacing it.
TEST(WavWriter, RefusesPathsThatAreNotRegularFiles) {
    cldtest::TempDir dir;
    const auto folder = dir.path() / "folder.wav";
    std::filesystem::create_directory(folder);
    const auto fifo = dir.path() / "pipe.wav";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const auto target = dir.path() / "target";
    { std::ofstream(target) << "keep"; }
    const auto link = dir.path() / "link.wav";
    std::filesystem::create_symlink(target, link);
    std::vector<std::pair<std::filesystem::path, std::string>> cases = {
        {folder, "folder"}, {fifo, "pipe"}, {link, "symbolic link"}};
    // A device node of our own (never a system one): the null device's numbers.
    const auto device = dir.path() / "null.wav";
    if (::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0)
        cases.push_back({device, "device"});
    for (const auto& [path, kind] : cases) {
        SCOPED_TRACE(kind);
        struct stat before {};
        ASSERT_EQ(::lstat(path.c_str(), &before), 0);
        WavWriter w;
        EXPECT_FALSE(w.Create(path.string()));
        EXPECT_NE(w.Error().find(kind), std::string::npos) << w.Error();
        EXPECT_NE(w.Error().find("not a regular file"), std::string::npos) << w.Error();
        struct stat after {};
        ASSERT_EQ(::lstat(path.c_str(), &after), 0);
        EXPECT_EQ(before.st_mode, after.st_mode);
        EXPECT_EQ(before.st_ino, after.st_ino);
    }
    EXPECT_EQ(fileBytes(target).size(), 4u);
    // Nothing was left behind by the refused attempts.
    for (const std::string& name : namesIn(dir.path()))
        EXPECT_EQ(name.find(".cldrip-"), std::string::npos) << name;
}

// The track is written under a temporary name and appears under its own name only
// when it is finished, replacing an earlier file of that name when that is allowed.
TEST(WavWriter, FinishedFileAppearsUnderItsNameOnly) {
    cldtest::TempDir dir;
    const auto path = dir.path() / "t.wav";
    { std::ofstream(path) << "an older file"; }
    WavWriter w;
    ASSERT_TRUE(w.Create(path.string(), true));
    const std::uint8_t samples[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_TRUE(w.Append(samples, sizeof samples));
    const std::string temp = w.TemporaryPath();
    EXPECT_EQ(std::filesystem::path(temp).parent_path(), dir.path());
    EXPECT_TRUE(std::filesystem::exists(temp));
    EXPECT_EQ(fileBytes(path).size(), 13u); // the old file is untouched meanwhile
    // A file being written is no leftover.
    EXPECT_EQ(WavWriter::RemoveStaleTemporaries(dir.path()), 0);
    EXPECT_TRUE(std::filesystem::exists(temp));
    ASSERT_TRUE(w.Finish());
    EXPECT_FALSE(std::filesystem::exists(temp));
    const auto bytes = fileBytes(path);
    ASSERT_EQ(bytes.size(), 52u);
    EXPECT_EQ(le32(bytes, 40), 8u);
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"t.wav"});
    // The mode an ordinary new file gets.
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    const mode_t mask = ::umask(022);
    ::umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0644u & ~mask);
}

// A process killed mid-track leaves only its temporary file, never a complete-looking
// WAV; the next writer in that folder removes the leftover.
TEST(WavWriter, KilledWriterLeavesOnlyATemporaryFile) {
    cldtest::TempDir dir;
    const auto path = dir.path() / "killed.wav";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        WavWriter w;
        if (!w.Create(path.string()))
            ::_exit(1);
        std::vector<std::uint8_t> chunk(26 * 2352, 0x5A);
        for (int i = 0; i < 10; ++i)
            w.Append(chunk.data(), chunk.size());
        ::kill(::getpid(), SIGKILL);
        ::_exit(2);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_FALSE(std::filesystem::exists(path));
    const auto left = namesIn(dir.path());
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].rfind(".cldrip-", 0), 0u);
    // Other files of the folder, even ones that look alike, are not touched.
    { std::ofstream(dir.path() / ".cldrip-notour.wav") << "x"; }
    { std::ofstream(dir.path() / "song.part") << "x"; }
    EXPECT_EQ(WavWriter::RemoveStaleTemporaries(dir.path()), 1);
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{".cldrip-notour.wav", "song.part"}));
}

TEST(TrackJob, NamesAreFileNamesInTheFolder) {
    TrackJob job;
    std::string error;
    for (const char* bad : {"../up", "a/b", "/abs", "..", ".", "", "..hidden"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(makeTrackJob(job, 0, bad, "/music/", 0, -1, error));
        EXPECT_FALSE(error.empty());
        error.clear();
    }
    ASSERT_TRUE(makeTrackJob(job, 0, "AC-DC live", "/music/", 0, -1, error));
    EXPECT_STREQ(job.fullPath, "/music/AC-DC live.wav");
    ASSERT_TRUE(makeTrackJob(job, 0, ".hidden track", "/music/", 0, -1, error));
}
