// The capture device lists the recorders and the capture job offer, on sound systems
// with a capture device, with only playback devices, with a busy device and with none.
#include "AlsaDeviceSource.h"
#include "AlsaTestDevices.h"
#include "CaptureDevices.h"
#include "WmSourcePlugins.h"
#include "WmVideoErrors.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

class CaptureDevicesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { cldtest::AlsaTestDevices::get(); }
};

std::vector<std::string> pcmNames(const std::vector<cld::CaptureDeviceInfo>& devices) {
    std::vector<std::string> names;
    for (const auto& d : devices)
        names.push_back(d.pcmName);
    return names;
}

const cld::CaptureDeviceInfo* find(const std::vector<cld::CaptureDeviceInfo>& devices,
                                   const std::string& name) {
    for (const auto& d : devices)
        if (d.pcmName == name)
            return &d;
    return nullptr;
}

const WmSourcePluginInfo* alsaPlugin(const std::vector<WmSourcePluginInfo>& plugins) {
    for (const auto& p : plugins)
        if (p.name == kAlsaPluginName)
            return &p;
    return nullptr;
}

} // namespace

TEST_F(CaptureDevicesTest, WithCaptureDevicesOnlyThoseThatRecordAreListedByTheirDescriptions) {
    const auto devices = cld::listCaptureDevices();
    const auto names = pcmNames(devices);
    for (const char* name : {"line22", "line44", "line8", "clock", "busy", "dead"})
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
    // "null" records garbage, the playback-only plug-in cannot record at all.
    for (const char* name : {"null", "upmixer"})
        EXPECT_EQ(std::find(names.begin(), names.end(), name), names.end()) << name;
    ASSERT_NE(find(devices, "line44"), nullptr);
    EXPECT_EQ(find(devices, "line44")->productName, "Test line44");
    EXPECT_FALSE(find(devices, "line44")->busy);
    ASSERT_NE(find(devices, "busy"), nullptr);
    EXPECT_TRUE(find(devices, "busy")->busy) << "a held device stays listed, marked busy";

    // The capture job sees the same devices, with the same descriptions, behind the
    // "DEVICE://" resources of the sound plug-in.
    const auto plugins = listSourcePlugins();
    const WmSourcePluginInfo* alsa = alsaPlugin(plugins);
    ASSERT_NE(alsa, nullptr);
    EXPECT_EQ(alsa->resources, names);
    ASSERT_EQ(alsa->resourceDescriptions.size(), devices.size());
    ASSERT_EQ(alsa->resourceBusy.size(), devices.size());
    for (size_t i = 0; i < devices.size(); ++i) {
        EXPECT_EQ(alsa->resourceDescriptions[i], devices[i].productName);
        EXPECT_EQ(alsa->resourceBusy[i], devices[i].busy);
    }
}

TEST_F(CaptureDevicesTest, OnlyPlaybackDevicesGiveAnEmptyList) {
    cldtest::ScopedAlsaConfig config(cldtest::AlsaTestDevices::get().playbackOnlyConfig());
    EXPECT_TRUE(cld::listCaptureDevices().empty());
    EXPECT_EQ(cld::checkCaptureDevice("upmixer"), cld::CaptureCheck::CannotCapture);
    const auto plugins = listSourcePlugins();
    const WmSourcePluginInfo* alsa = alsaPlugin(plugins);
    ASSERT_NE(alsa, nullptr);
    const std::vector<std::string> none;
    EXPECT_EQ(alsa->resources, none);
}

TEST_F(CaptureDevicesTest, ABusyDeviceIsListedAndItsFailureSaysItIsBusy) {
    cldtest::ScopedAlsaConfig config(cldtest::AlsaTestDevices::get().busyOnlyConfig());
    const auto devices = cld::listCaptureDevices();
    ASSERT_EQ(pcmNames(devices), std::vector<std::string>{"held"});
    EXPECT_TRUE(devices[0].busy);
    EXPECT_EQ(devices[0].productName, "Test held");
    EXPECT_EQ(cld::checkCaptureDevice("held"), cld::CaptureCheck::Busy);
    EXPECT_EQ(cld::captureFailureCode("held"), cld::wmerr::kDeviceBusy);
}

TEST_F(CaptureDevicesTest, NoSoundCardGivesNoDeviceAndMissingDevicesSaySo) {
    cldtest::ScopedAlsaConfig config(cldtest::AlsaTestDevices::get().noDeviceConfig());
    EXPECT_TRUE(cld::listCaptureDevices().empty());
    EXPECT_EQ(cld::checkCaptureDevice("line44"), cld::CaptureCheck::Missing);
    EXPECT_EQ(cld::captureFailureCode("line44"), cld::wmerr::kDeviceMissing);
}

TEST_F(CaptureDevicesTest, TheConfigurationComesBackAfterASwitch) {
    {
        cldtest::ScopedAlsaConfig config(cldtest::AlsaTestDevices::get().noDeviceConfig());
        EXPECT_TRUE(cld::listCaptureDevices().empty());
    }
    EXPECT_EQ(cld::checkCaptureDevice("line44"), cld::CaptureCheck::Ok);
    // A device that opens but offers no format the recorder asks for is a format fault.
    EXPECT_EQ(cld::checkCaptureDevice("dead"), cld::CaptureCheck::Ok);
}
