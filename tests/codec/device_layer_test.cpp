// The capture device layer is not loaded until a device is used, and once loaded it
// offers the capture inputs the recorders and the video capture open.
#include "DeviceLayer.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <fstream>
#include <gtest/gtest.h>
#include <string>

namespace {

bool Mapped(const std::string& library) {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        if (line.find(library) != std::string::npos)
            return true;
    }
    return false;
}

TEST(DeviceLayer, IsLoadedOnlyWhenADeviceIsFirstUsed) {
    // Nothing in this process has touched a device yet: a file job starts without it.
    EXPECT_FALSE(Mapped("libavdevice.so"));
    EXPECT_EQ(av_find_input_format("alsa"), nullptr);

    ASSERT_TRUE(cld::registerDeviceInputs());
    EXPECT_TRUE(Mapped("libavdevice.so"));
    EXPECT_NE(av_find_input_format("alsa"), nullptr);
    EXPECT_NE(av_find_input_format("video4linux2"), nullptr);
    // A second call finds the layer loaded.
    EXPECT_TRUE(cld::registerDeviceInputs());

    // The device lists go through the loaded layer; a format that cannot list its devices
    // says so instead of failing the program.
    AVDeviceInfoList* list = nullptr;
    const int rc = cld::listDeviceInputSources(av_find_input_format("alsa"), &list);
    if (rc >= 0) {
        EXPECT_NE(list, nullptr);
    }
    cld::freeDeviceList(&list);
    EXPECT_EQ(list, nullptr);
}

} // namespace
