#pragma once

// Dialog and control ids of the conversion dialogs. A language library carries
// the same ids; tests find each control by its id.
namespace cld {

enum ConvertDialogId : int {
    IDD_WMA_PROGRESS = 158,
    IDD_MP3_PROGRESS = 159,
    IDD_WMA_SETTINGS = 157,
    IDD_MP3_SETTINGS = 160,
    IDD_MP3_ADVANCED = 162,
    IDD_FOLDER2WMA = 166,
    IDD_FOLDER2MP3 = 167,
    IDD_DECODE2WAV = 168,
};

enum ConvertControlId : int {
    IDC_OK = 1,
    IDC_CANCEL = 2, // also the progress dialogs' Abort

    // Settings dialogs.
    IDC_BITRATE_LABEL = 1030,
    IDC_BITRATE_LIST = 1031,
    IDC_BITRATE_SLIDER = 1032,
    IDC_CBR = 1033,
    IDC_VBR = 1034,
    IDC_ADVANCED = 1035,
    IDC_OUTPUT = 1036,
    IDC_OUTPUT_BROWSE = 1037,
    IDC_INPUT = 1038,
    IDC_INPUT_BROWSE = 1039,
    IDC_MODE_FOLDER = 1040,
    IDC_MODE_FILE = 1041,
    IDC_PROFILE_LIST = 1042,

    // Advanced MP3 settings.
    IDC_METHOD_RH = 1050,
    IDC_METHOD_ABR = 1051,
    IDC_METHOD_MTRH = 1052,
    IDC_VBR_QUALITY = 1053,
    IDC_QUALITY = 1054,
    IDC_CHANNELS_STEREO = 1055, // ..1059 in channel-mode order
    IDC_VBR_MIN = 1060,
    IDC_VBR_MAX = 1061,
    IDC_ABR_MEAN = 1062,
    IDC_PRIVATE = 1063,
    IDC_COPYRIGHTED = 1064,
    IDC_ORIGINAL = 1065,
    IDC_CRC = 1066,
    IDC_DEFAULTS = 1067,

    // Progress dialogs.
    IDC_OVERALL_BAR = 1010,
    IDC_CURRENT_BAR = 1012,
    IDC_OUTPUT_FILE = 1016,
    IDC_INPUT_FILE = 1017,
    IDC_GRAB_BAR = 1018,
    IDC_FILE_COUNT = 1019,
    IDC_ELAPSED = 1020,
    IDC_ESTIMATED = 1021,
    IDC_DISK_FREE = 1022,
    IDC_MEDIA_BITRATE = 1023,
    IDC_OUTPUT_SIZE = 1024,
    IDC_DISK_TOTAL = 1025,
    IDC_TOTAL_ELAPSED = 1026,
    IDC_PERFORMANCE = 1027,
    IDC_SAMPLES = 1028,
};

} // namespace cld
