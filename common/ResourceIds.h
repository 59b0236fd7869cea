#pragma once

// The program's resource ids by name. The numbers are fixed: a language library carries
// its strings, dialogs and pictures under the same ids, and the artwork generator draws
// each picture under the id the program asks for.
namespace cld {

// Resource types as the resource lookups name them.
inline constexpr const char* kBitmapType = "BITMAP";
inline constexpr const char* kIconType = "ICON";
inline constexpr const char* kPngType = "PNG";
// The same pictures drawn with twice the pixels, for high-DPI screens, carry their type with
// this suffix ("BITMAP@2X", "PNG@2X").
inline constexpr const char* kDoubleResolutionSuffix = "@2X";

// Dialog templates (their captions sit in the dialog table).
enum DialogId : int {
    IDD_LAUNCHER = 102,
    IDD_CD_GRABBER = 144,
    IDD_READ_PROGRESS = 149,
    IDD_FREEDB_QUERY = 154,
    IDD_WMA_SETTINGS = 157,
    IDD_ENCODER_PROGRESS = 158,
    IDD_MP3_ENCODER_PROGRESS = 159,
    IDD_MP3_SETTINGS = 160,
    IDD_MIC2WMA_SETTINGS = 161,
    IDD_MP3_ADVANCED_SETTINGS = 162,
    IDD_MIC2WMA_PROGRESS = 163,
    IDD_MIC2MP3_SETTINGS = 164,
    IDD_MIC2MP3_PROGRESS = 165,
    IDD_FOLDER2WMA_SETTINGS = 166,
    IDD_FOLDER2MP3_SETTINGS = 167,
    IDD_DECODE2WAV = 168,
    IDD_AVI2WMV_SETTINGS = 169,
    IDD_AVI2WMV_PROGRESS = 170,
    IDD_CAPTURE2WMV_SETTINGS = 171,
    IDD_CAPTURE2WMV_PROGRESS = 172,
    IDD_ABOUT = 173,
    IDD_WMFREDIST_WAIT = 175,
    IDD_OPTIONS = 176,
    IDD_FREEDB_SERVERS = 177,
};

// String-table texts of the application frame: the launcher's tooltips and menu item,
// and the start-up messages.
enum FrameStringId : int {
    IDS_ABOUTBOX = 101,
    IDS_TIP_EXIT = 102,
    IDS_TIP_MINIMIZE = 103,
    IDS_TIP_VIDEO_PANEL = 104,
    IDS_TIP_AUDIO_PANEL = 105,
    IDS_TIP_HELP = 106,
    IDS_TIP_CD2WAV = 107,
    IDS_TIP_CD2WMA = 150,
    IDS_OLE_INIT_FAILED = 151,
    IDS_RIPPER_INIT_FAILED = 152,
    IDS_TIP_CD2MP3 = 158,
    IDS_TIP_MIC2WMA = 161,
    IDS_TIP_MIC2MP3 = 170,
    IDS_TIP_FOLDER2WMA = 172,
    IDS_TIP_FOLDER2MP3 = 173,
    IDS_TIP_WMA2WAV = 186,
    IDS_TIP_MP32WAV = 187,
    IDS_TIP_AVI2WMV = 203,
    IDS_TIP_CAPTURE2WMV = 206,
    IDS_TIP_OPTIONS = 217,
};

// Controls of the launcher. The job buttons' ids are also the keys of the job commands.
enum LauncherControlId : int {
    IDC_EXIT = 1, // the dialog's OK button
    IDC_CLOSE_BOX = 1000,
    IDC_MINIMIZE_BOX = 1002,
    IDC_AUDIO_PANEL = 1003,
    IDC_VIDEO_PANEL = 1004,
    IDC_CD2WAV = 1005,
    IDC_MIC2WMA = 1006,
    IDC_MIC2MP3 = 1007,
    IDC_FOLDER2WMA = 1008,
    IDC_FOLDER2MP3 = 1009,
    IDC_WMA2WAV = 1010,
    IDC_MP32WAV = 1011,
    IDC_AVI2WMV = 1012,
    IDC_CAPTURE2WMV = 1013,
    IDC_CD2WMA = 1015,
    IDC_CD2MP3 = 1016,
    IDC_ABOUT = 1061,
    IDC_HELP = 57670,
    IDC_OPTIONS = 57671,
};

// System-menu commands: the launcher's About item, and the range that opens the About box.
enum SystemCommandId : int {
    IDM_ABOUTBOX = 16,
    IDM_ABOUTBOX_LAST = 31,
};

// Bitmaps of the current resource module (button images use magenta as the transparent
// colour).
enum BitmapId : int {
    IDB_LAUNCHER_MASK = 129,
    IDB_LAUNCHER_BACKGROUND = 130,
    IDB_EXIT = 131,
    IDB_CLOSE = 132,
    IDB_CLOSE_HOVER = 133,
    IDB_MINIMIZE_HOVER = 134,
    IDB_MINIMIZE = 135,
    IDB_HELP = 140,
    IDB_HELP_HOVER = 141,
    IDB_CD2WAV_HOVER = 142,
    IDB_CD2WAV = 143,
    IDB_CD2WMA_HOVER = 155,
    IDB_CD2WMA = 156,
    IDB_CD2MP3 = 160,
    IDB_CD2MP3_HOVER = 161,
};

// Icons of the current resource module.
enum IconId : int {
    IDI_PROGRAM = 128,
};

// PNG images: the launcher's of the picture library beside the program, and the splash
// picture of the current resource module.
enum PngId : int {
    IDPNG_MIC2WMA = 107,
    IDPNG_MIC2WMA_HOVER = 108,
    IDPNG_MIC2MP3 = 110,
    IDPNG_MIC2MP3_HOVER = 111,
    IDPNG_FOLDER2MP3_HOVER = 112,
    IDPNG_FOLDER2MP3 = 113,
    IDPNG_FOLDER2WMA_HOVER = 114,
    IDPNG_FOLDER2WMA = 115,
    IDPNG_MP32WAV_HOVER = 117,
    IDPNG_MP32WAV = 118,
    IDPNG_WMA2WAV_HOVER = 119,
    IDPNG_WMA2WAV = 120,
    IDPNG_AVI2WMV_HOVER = 121,
    IDPNG_AVI2WMV = 122,
    IDPNG_CAPTURE2WMV_HOVER = 123,
    IDPNG_CAPTURE2WMV = 124,
    IDPNG_ABOUT_HOVER = 125,
    IDPNG_ABOUT = 126,
    IDPNG_OPTIONS_HOVER = 127,
    IDPNG_OPTIONS = 128,
    IDPNG_AUDIO_PANEL = 129,
    IDPNG_AUDIO_PANEL_LIT = 130,
    IDPNG_VIDEO_PANEL_LIT = 131,
    IDPNG_VIDEO_PANEL = 132,
    IDPNG_SPLASH = 172,
};

} // namespace cld
