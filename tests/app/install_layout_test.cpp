#include "InstallLayout.h"
#include "TempDir.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

TEST(InstallLayout, AnInstalledProgramFindsItsFilesBesideBinAndABuiltOneBesideItself) {
    cldtest::TempDir dir;
    const std::string root = dir.path().string();
    // A build folder: no lib/calderine next to bin, so the program's own folder.
    fs::create_directories(dir.file("build/bin"));
    EXPECT_EQ(cld::privateFolderFor(root + "/build/bin/"), root + "/build/bin/");
    // An installation under any prefix, also reached through a symbolic link to bin/.
    fs::create_directories(dir.file("opt/usr/bin"));
    fs::create_directories(dir.file("opt/usr/lib/calderine"));
    EXPECT_EQ(cld::privateFolderFor(root + "/opt/usr/bin/"), root + "/opt/usr/lib/calderine/");
    EXPECT_EQ(cld::privateFolderFor(root + "/opt/usr/bin"), root + "/opt/usr/lib/calderine/");
    // A file of that name is not a folder of the program's files.
    fs::create_directories(dir.file("odd/bin"));
    fs::create_directories(dir.file("odd/lib"));
    {
        std::FILE* f = std::fopen(dir.file("odd/lib/calderine").c_str(), "w");
        std::fclose(f);
    }
    EXPECT_EQ(cld::privateFolderFor(root + "/odd/bin/"), root + "/odd/bin/");
    EXPECT_EQ(cld::privateFolderFor(""), "");
}

} // namespace
