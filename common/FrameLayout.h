#pragma once

#include "ResourceIds.h"

#include <array>

// Sizes and places of the application frame's windows, shared by the program and by the
// artwork generator, which draws every picture at the size the program shows it.
namespace cld {

// The launcher window (its shape mask and background picture have this size too).
inline constexpr int kLauncherWidth = 805;
inline constexpr int kLauncherHeight = 495;

// The splash picture.
inline constexpr int kSplashWidth = 600;
inline constexpr int kSplashHeight = 424;

enum class LauncherPanel { Always, Audio, Video };
// Where a button's images come from: bitmaps of the current resource module (magenta is
// transparent) or PNG images of the picture library.
enum class ImageKind { None, Bitmap, Png };

// One button of the launcher: control id, caption of the template, panel, place and size,
// images (hover first, normal second; 0 = none) and tooltip string id.
struct LauncherButton {
    int id;
    const char* caption;
    LauncherPanel panel;
    int x, y, width, height;
    ImageKind kind;
    int hoverImage;
    int normalImage;
    int tooltip;
};

inline constexpr std::array<LauncherButton, 19> kLauncherButtons{{
    {IDC_EXIT, "OK", LauncherPanel::Always, 690, 410, 70, 55, ImageKind::Bitmap, IDB_EXIT, 0,
     IDS_TIP_EXIT},
    {IDC_CLOSE_BOX, "", LauncherPanel::Always, 760, 10, 23, 22, ImageKind::Bitmap, IDB_CLOSE_HOVER,
     IDB_CLOSE, IDS_TIP_EXIT},
    {IDC_MINIMIZE_BOX, "", LauncherPanel::Always, 735, 10, 23, 22, ImageKind::Bitmap,
     IDB_MINIMIZE_HOVER, IDB_MINIMIZE, IDS_TIP_MINIMIZE},
    {IDC_ABOUT, "", LauncherPanel::Always, 705, 8, 26, 26, ImageKind::Png, IDPNG_ABOUT_HOVER,
     IDPNG_ABOUT, IDS_ABOUTBOX},
    // The panel selectors get their images from the panel shown (see the launcher).
    {IDC_VIDEO_PANEL, "Video", LauncherPanel::Always, 19, 105, 164, 131, ImageKind::None, 0, 0,
     IDS_TIP_VIDEO_PANEL},
    {IDC_AUDIO_PANEL, "Audio", LauncherPanel::Always, 12, 242, 132, 105, ImageKind::None, 0, 0,
     IDS_TIP_AUDIO_PANEL},
    {IDC_HELP, "&Help", LauncherPanel::Always, 12, 428, 47, 51, ImageKind::Bitmap, IDB_HELP_HOVER,
     IDB_HELP, IDS_TIP_HELP},
    {IDC_OPTIONS, "&Options", LauncherPanel::Always, 32, 352, 68, 73, ImageKind::Png,
     IDPNG_OPTIONS_HOVER, IDPNG_OPTIONS, IDS_TIP_OPTIONS},
    {IDC_CD2WAV, "CD-Audio to WAV", LauncherPanel::Audio, 234, 164, 148, 92, ImageKind::Bitmap,
     IDB_CD2WAV_HOVER, IDB_CD2WAV, IDS_TIP_CD2WAV},
    {IDC_CD2WMA, "CD-Audio to WMA", LauncherPanel::Audio, 393, 166, 148, 92, ImageKind::Bitmap,
     IDB_CD2WMA_HOVER, IDB_CD2WMA, IDS_TIP_CD2WMA},
    {IDC_CD2MP3, "CD-Audio to MP3", LauncherPanel::Audio, 547, 163, 145, 89, ImageKind::Bitmap,
     IDB_CD2MP3_HOVER, IDB_CD2MP3, IDS_TIP_CD2MP3},
    {IDC_MIC2WMA, "Line-In/MIC to WMA", LauncherPanel::Audio, 200, 250, 157, 95, ImageKind::Png,
     IDPNG_MIC2WMA_HOVER, IDPNG_MIC2WMA, IDS_TIP_MIC2WMA},
    {IDC_MIC2MP3, "Line-In/MIC to MP3", LauncherPanel::Audio, 359, 250, 157, 95, ImageKind::Png,
     IDPNG_MIC2MP3_HOVER, IDPNG_MIC2MP3, IDS_TIP_MIC2MP3},
    {IDC_FOLDER2WMA, "Folder/File to WMA", LauncherPanel::Audio, 520, 256, 161, 93, ImageKind::Png,
     IDPNG_FOLDER2WMA_HOVER, IDPNG_FOLDER2WMA, IDS_TIP_FOLDER2WMA},
    {IDC_FOLDER2MP3, "Folder/File to MP3", LauncherPanel::Audio, 175, 348, 161, 93, ImageKind::Png,
     IDPNG_FOLDER2MP3_HOVER, IDPNG_FOLDER2MP3, IDS_TIP_FOLDER2MP3},
    {IDC_WMA2WAV, "WMA to .WAV", LauncherPanel::Audio, 330, 348, 162, 88, ImageKind::Png,
     IDPNG_WMA2WAV_HOVER, IDPNG_WMA2WAV, IDS_TIP_WMA2WAV},
    {IDC_MP32WAV, "MP3 to .WAV", LauncherPanel::Audio, 500, 352, 158, 85, ImageKind::Png,
     IDPNG_MP32WAV_HOVER, IDPNG_MP32WAV, IDS_TIP_MP32WAV},
    {IDC_AVI2WMV, "AVI/MPG to WMV", LauncherPanel::Video, 280, 210, 160, 159, ImageKind::Png,
     IDPNG_AVI2WMV_HOVER, IDPNG_AVI2WMV, IDS_TIP_AVI2WMV},
    {IDC_CAPTURE2WMV, "AVI/MPG to WMV", LauncherPanel::Video, 470, 219, 151, 150, ImageKind::Png,
     IDPNG_CAPTURE2WMV_HOVER, IDPNG_CAPTURE2WMV, IDS_TIP_CAPTURE2WMV},
}};

// The launcher button with control id `id`, or nullptr.
constexpr const LauncherButton* findLauncherButton(int id) {
    for (const LauncherButton& b : kLauncherButtons)
        if (b.id == id)
            return &b;
    return nullptr;
}

} // namespace cld
