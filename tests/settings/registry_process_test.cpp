#include "CRegistry.h"
#include "Processes.h"
#include "RegistryTestUtil.h"
#include "SettingsRecord.h"

#include <chrono>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <thread>

using cldtest::ScopedRegistry;

TEST(RegistryProcesses, ValueWrittenByOneProcessIsReadByTheNext) {
    ScopedRegistry registry;
    ASSERT_EQ(cldtest::runRegtool({"profile-int", "History", "MP3BitrateType", "1"}), 0);
    SettingsRecord record;
    record.LoadSettings();
    EXPECT_EQ(record.mp3BitrateType(), 1);
    ASSERT_EQ(cldtest::runRegtool({"profile-int", "History", "MP3BitrateType", "0"}), 0);
    SettingsRecord next;
    next.LoadSettings();
    EXPECT_EQ(next.mp3BitrateType(), 0);
}

TEST(RegistryProcesses, ConcurrentWritersToOneKeyLoseNothing) {
    ScopedRegistry registry;
    const auto go = registry.dir() / "go";
    constexpr int kCount = 150;
    const std::string count = std::to_string(kCount);
    // Three processes at once: two through CRegistry, one more through the settings record,
    // all on the same key of the same store.
    std::vector<pid_t> pids;
    pids.push_back(cldtest::startRegtool({"race", "Software\\Race", "A", count, go.string()}));
    pids.push_back(cldtest::startRegtool({"race", "Software\\Race", "B", count, go.string()}));
    pids.push_back(cldtest::startRegtool({"settings-race", "port", count, go.string()}));
    pids.push_back(cldtest::startRegtool({"settings-race", "server", count, go.string()}));
    for (pid_t pid : pids)
        ASSERT_GT(pid, 0);
    std::ofstream(go) << "go";
    for (pid_t pid : pids)
        EXPECT_EQ(cldtest::waitProcess(pid), 0);

    CRegistry reg;
    ASSERT_TRUE(reg.ConnectRoot(HKEY_CURRENT_USER));
    ASSERT_TRUE(reg.OpenKey("Software\\Race"));
    EXPECT_EQ(reg.ValueCount(), 2u * kCount + 2u);
    for (const char* tag : {"A", "B"}) {
        DWORD last = 0;
        ASSERT_TRUE(reg.ReadDword(tag, last));
        EXPECT_EQ(last, static_cast<DWORD>(kCount - 1)) << tag;
        for (int i = 0; i < kCount; ++i) {
            DWORD v = 0;
            const std::string name = std::string(tag) + "_" + std::to_string(i);
            ASSERT_TRUE(reg.ReadDword(name.c_str(), v)) << name;
            EXPECT_EQ(v, static_cast<DWORD>(i));
        }
    }
    SettingsRecord record;
    record.LoadSettings();
    EXPECT_EQ(record.proxyPort(), 1000 + kCount);
    EXPECT_EQ(record.freeDBServer(), "host" + count);
    EXPECT_TRUE(registry.damagedFiles().empty());
}

TEST(RegistryProcesses, KilledWriterLeavesAReadableStore) {
    ScopedRegistry registry;
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> delay(0, 150);
    DWORD previous = 0;
    bool haveCounter = false;
    for (int round = 0; round < 40; ++round) {
        const auto ready = registry.dir() / ("ready" + std::to_string(round));
        const pid_t pid = cldtest::startRegtool({"churn", "Software\\Churn", ready.string()});
        ASSERT_GT(pid, 0);
        // The kill lands at a random moment of the writing, however slowly the writer starts.
        ASSERT_TRUE(cldtest::waitUntil([&] {
            return std::filesystem::exists(ready) || !cldtest::processRunning(pid);
        })) << "round "
            << round;
        std::this_thread::sleep_for(std::chrono::milliseconds(delay(random)));
        kill(pid, SIGKILL);
        const int status = cldtest::waitProcess(pid);
        ASSERT_TRUE(status == -SIGKILL || status == 0) << "round " << round << ": " << status;

        CRegistry reg;
        ASSERT_TRUE(reg.ConnectRoot(HKEY_CURRENT_USER)) << "round " << round;
        ASSERT_TRUE(reg.OpenKey("Software\\Churn")) << "round " << round;
        DWORD counter = 0;
        if (reg.ReadDword("Counter", counter)) {
            // A committed value never goes back.
            if (haveCounter) {
                EXPECT_GE(counter, previous) << "round " << round;
            }
            previous = counter;
            haveCounter = true;
            // The round's earlier writes were committed before the counter.
            std::vector<std::uint8_t> block;
            ASSERT_TRUE(reg.ReadBinary("Block", block));
            ASSERT_EQ(block.size(), 4096u);
            EXPECT_TRUE(block.front() == static_cast<std::uint8_t>(counter) ||
                        block.front() == static_cast<std::uint8_t>(counter + 1));
            EXPECT_EQ(block.front(), block.back());
            std::string text;
            EXPECT_TRUE(reg.ReadString("Text", text));
            std::vector<std::string> list;
            EXPECT_TRUE(reg.ReadStringList("List", list));
            EXPECT_EQ(list.size(), 2u);
        }
        // Every key that exists can be walked and every value read.
        for (DWORD i = 0; i < 7; ++i) {
            CRegistry child;
            child.ConnectRoot(HKEY_CURRENT_USER);
            const std::string path = "Software\\Churn\\Child" + std::to_string(i);
            if (child.OpenKey((path + "\\Grand\\Great").c_str())) {
                DWORD n = 0;
                EXPECT_TRUE(child.ReadDword("N", n) || child.LastError() == ERROR_FILE_NOT_FOUND);
            }
        }
    }
    EXPECT_TRUE(haveCounter);
    EXPECT_TRUE(registry.damagedFiles().empty());
}
