#pragma once

// Ids of the program's own texts beyond the classic string table (whose ids are in
// ResourceIds.h). Every own string id lives here and only here, grouped by the area that
// shows it, so that two pieces of work can never give one number to two texts unseen. A
// language library carries its translations under the same numbers, so a number never
// changes once it has shipped. A test checks that no number appears twice and that each
// one has its English and German text.
namespace cld {

enum OwnStringId : int {
    // Help, the About box and the launcher.
    IDS_HELP_MISSING = 901,
    IDS_HELP_BROKEN = 902,
    IDS_JOB_UNAVAILABLE = 903,
    IDS_LAME_CREDIT = 904,
    IDS_ABOUT_VERSION = 905,
    IDS_OPEN_TITLE = 906,

    // How a grab ended ("%1" = why, which tracks, the folder).
    IDS_GRAB_STOPPED = 940,
    IDS_GRAB_NOT_EXACT = 941,
    IDS_GRAB_FOLDER_FAILED = 942,

    // The grabber's stand-in for an artist or album the disc does not name, as shown.
    IDS_GRAB_UNKNOWN_NAME = 944,

    // The Options dialog's checks of what the user entered.
    IDS_BAD_PROXY_PORT = 943,

    // The recorders.
    IDS_REC_NO_FORMAT = 951,
    IDS_REC_START_FAILED = 952,

    // The conversion dialogs: progress titles, entry checks and the CD jobs' errors.
    IDS_WMA_CD_PROGRESS = 960,
    IDS_WMA_FOLDER_PROGRESS = 961,
    IDS_WMA_FILE_PROGRESS = 962,
    IDS_WMA_DECODE_FOLDER_PROGRESS = 963,
    IDS_WMA_DECODE_FILE_PROGRESS = 964,
    IDS_ENTER_INTEGER = 965,
    IDS_ENTER_INTEGER_RANGE = 966,
    IDS_GRAB_FAILED = 967,
    IDS_NO_RIPPER = 968,
    IDS_PROFILE_ERROR = 969,
    IDS_NO_PROFILE = 970,

    // The media runtime installation at first start.
    IDS_WMFDIST_MISSING = 980,
    IDS_WMF_CONTINUE_ASK = 981,
    IDS_WMEDIST_MISSING = 982,
    IDS_WME_CONTINUE_ASK = 983,

    // The CD information cache was damaged and has been put aside.
    IDS_CACHE_DAMAGED = 990,
    // Another program holds the CD information cache locked: the program starts without it.
    IDS_CACHE_LOCKED = 991,

    // What a batch tells about a file that failed, was skipped or would be replaced.
    IDS_FAILED_FILE = 2000,
    IDS_FAILED_REASON = 2001,
    IDS_SKIP_FILE_ASK = 2002,
    IDS_FILES_CONVERTED = 2003,
    IDS_FILES_SKIPPED = 2004,
    IDS_PARTIAL_KEPT = 2005,
    IDS_REPLACE_ASK = 2006,
    IDS_N_FILES = 2007,
    IDS_WRITE_FAILED = 2008,
    // How a batch of several files ends when it stops before its end, what a full disk
    // does to it, and an output that would replace its own input.
    IDS_BATCH_STOPPED = 2009,
    IDS_FILES_NOT_CONVERTED = 2010,
    IDS_DISK_FULL_STOP = 2011,
    IDS_OUTPUT_IS_INPUT = 2012,

    // Recording and capture: devices and how a recording or a video conversion ended.
    IDS_NO_CAPTURE_DEVICE = 2100,
    IDS_CAPTURE_DEVICE_MISSING = 2101,
    IDS_CAPTURE_DEVICE_BUSY_NOTE = 2102,
    IDS_RECORDING_WRITE_FAILED = 2103,
    IDS_VIDEO_WRITE_FAILED = 2104,
    IDS_VIDEO_INPUT_ENDED_EARLY = 2105,
    IDS_OUTPUT_EXISTS_REPLACE = 2106,
    IDS_VIDEO_INPUT_DAMAGED = 2107,
    IDS_SCREEN_CAPTURE_STOP_HINT = 2108,
    IDS_CAPTURE_DEVICE_BUSY = 2109,
    IDS_VIDEO_DEVICE_OPEN = 2110,
    IDS_VIDEO_DEVICE_LOST = 2111,
    IDS_VIDEO_NO_DISPLAY = 2112,
    IDS_VIDEO_NO_VIDEO_STREAM = 2113,
    IDS_VIDEO_DEVICE_MISSING = 2114,
    IDS_VIDEO_NO_CAPTURE_DEVICE = 2115,
    IDS_VIDEO_DEVICE_FORMAT = 2116,
    // The media components' failures, as the dialogs tell them.
    IDS_MEDIA_PENDING = 2117,
    IDS_MEDIA_ABORTED_BY_CLIENT = 2118,
    IDS_MEDIA_NO_CONNECTION = 2119,
    IDS_MEDIA_PROXY_CONNECT = 2120,
    IDS_MEDIA_SHUTDOWN = 2121,
    IDS_MEDIA_NOT_IMPL = 2122,
    IDS_MEDIA_POINTER = 2123,
    IDS_MEDIA_FAIL = 2124,
    IDS_MEDIA_UNEXPECTED = 2125,
    IDS_MEDIA_OUT_OF_MEMORY = 2126,
    IDS_MEDIA_INVALID_ARG = 2127,
    IDS_MEDIA_INPUT_OPEN = 2128,
    IDS_MEDIA_NO_AUDIO = 2129,
    IDS_MEDIA_OUTPUT_CREATE = 2130,
    IDS_MEDIA_CODEC_MISSING = 2131,
    IDS_MEDIA_CODEC_OPEN = 2132,
    IDS_MEDIA_ENCODE_FAILED = 2133,
    IDS_MEDIA_PROFILE_INDEX = 2134,
    IDS_MEDIA_NO_SOURCE_GROUP = 2135,
    IDS_MEDIA_NO_OUTPUT_FILE = 2136,
    IDS_MEDIA_BUSY = 2137,
    IDS_MEDIA_PROFILE_INVALID = 2138,
    IDS_MEDIA_TIMEOUT = 2139,
    IDS_MEDIA_READER_STATE = 2140,
    IDS_MEDIA_WAV_FORMAT = 2141,
    IDS_MEDIA_READ_FAILED = 2142,
    IDS_MEDIA_NO_INPUT = 2143,
    IDS_MEDIA_NO_VIDEO = 2144,
    IDS_MEDIA_DECODE_FAILED = 2145,
    IDS_MEDIA_OUTPUT_NOT_FILE = 2146,
    IDS_MEDIA_NO_AUDIO_DECODED = 2147,
    IDS_MEDIA_CHECKSUM_MISMATCH = 2148,
    IDS_MEDIA_TRUNCATED = 2149,
    IDS_MEDIA_CONTENT_MISMATCH = 2150,
    IDS_MEDIA_WRITE_FAILED = 2151,

    // What a grab did to a track's sectors, and what to do about it.
    IDS_ONE_SECTOR_UNREAD = 2200,
    IDS_SECTORS_UNREAD = 2201,
    IDS_ONE_SECTOR_UNVERIFIED = 2202,
    IDS_SECTORS_UNVERIFIED = 2203,
    IDS_TRACK_STOPS_EARLY = 2204,
    IDS_TRACK_NO_FILE = 2205,
    IDS_TRACK_NOT_READ = 2206,
    IDS_TRACK_AUDIO_UNVERIFIED = 2207,
    IDS_TRACK_SOME_UNREAD = 2208,
    IDS_GRAB_ADVICE = 2209,
    IDS_GRAB_READ_FAILED_NOTE = 2210,
    IDS_GRAB_NOT_VERIFIED_NOTE = 2211,

    // The FreeDB server and the user's identity.
    IDS_BAD_FREEDB_SERVER = 2300,
    IDS_BAD_EMAIL = 2302,
    IDS_FREEDB_ASKING = 2303,
    IDS_FREEDB_EMAIL_QUESTION = 2304,
    IDS_FREEDB_EMAIL_TITLE = 2305,
    IDS_FREEDB_UNREACHABLE = 2306,

    // Names of controls that have no label, for a screen reader, and the dialogs' checks
    // of a track name.
    IDS_NAME_OUTPUT_FOLDER = 2400,
    IDS_NAME_INPUT_FOLDER_OR_FILE = 2401,
    IDS_NAME_OUTPUT_FOLDER_OR_FILE = 2402,
    IDS_NAME_INPUT_FILE = 2403,
    IDS_NAME_OUTPUT_FILE = 2404,
    IDS_NAME_TRACKS = 2405,
    IDS_NAME_INTRO_SECONDS = 2406,
    IDS_NAME_BITRATE = 2407,
    IDS_TRACK_NAME_TOO_LONG = 2408,
    IDS_NAME_WMA_PROFILE = 2455,
    IDS_NAME_ENCODING_PROGRESS = 2495,

    // The words drawn on the launcher's background and on the splash.
    IDS_TAGLINE = 2497,
    IDS_LAUNCHER_STRIP = 2498,
    IDS_SPLASH_STRIP = 2499,

    // Disc names and covers from MusicBrainz.
    IDS_MB_ASKING = 2500,
    IDS_MB_UNKNOWN_DISC = 2501,
    IDS_MB_BUSY_RETRY = 2502,
    IDS_MB_BUSY = 2503,
    IDS_MB_OFFLINE = 2504,
    IDS_MB_TIMED_OUT = 2505,
    IDS_MB_UNREADABLE = 2506,
    IDS_MB_REFUSED = 2507,
    IDS_MB_FOUND = 2508,
    IDS_BAD_MUSICBRAINZ_SERVER = 2509,
    IDS_MB_CANCELLED = 2510,
    IDS_MB_FOUND_WITH_COVER = 2511,

    // Verified rips: AccurateRip, the rip log and the drive's read offset.
    IDS_AR_ALL_ACCURATE = 2600,
    IDS_AR_SOME_NOT_ACCURATE = 2601,
    IDS_AR_NOT_IN_DATABASE = 2602,
    IDS_AR_OFFLINE = 2603,
    IDS_AR_LOOKUP_FAILED = 2604,
    IDS_AR_OTHER_DISC = 2605,
    IDS_RIP_LOG_WRITTEN = 2606,
    IDS_RIP_LOG_FAILED = 2607,
    IDS_READ_OFFSET_REFUSED = 2608,
    IDS_GRAB_SAVED_VERIFIED = 2609,
    IDS_READ_OFFSET_LABEL = 2610,
    IDS_READ_OFFSET_HELP = 2611,
    IDS_DETECT_OFFSET = 2612,
    IDS_OFFSET_FOUND = 2613,
    IDS_OFFSET_NOT_FOUND = 2614,
    IDS_BAD_OFFSET = 2615,
    IDS_READ_OFFSET_GROUP = 2616,
    IDS_OFFSET_DRIVE_LABEL = 2617,
    IDS_AR_LOOKUP_CHECK = 2618,
    IDS_AR_SERVER_LABEL = 2619,
    IDS_BAD_ACCURATERIP_SERVER = 2620,

    // The CUETools database beside AccurateRip, and which of them confirms a rip.
    IDS_CTDB_ACCURATE = 2630,
    IDS_CTDB_SHIFTED = 2631,
    IDS_CTDB_DIFFERS = 2632,
    IDS_CTDB_NOT_IN_DATABASE = 2633,
    IDS_CTDB_LOOKUP_FAILED = 2634,
    IDS_RIP_VERIFIED_BY = 2635,
    IDS_RIP_NOT_VERIFIED = 2636,
    // The grabber's dialog that verifies a rip made earlier.
    IDS_VERIFY_RIP_OPEN = 2646,
    IDS_VERIFY_RIP_TITLE = 2647,
    IDS_VERIFY_RIP_BROWSE = 2648,
    IDS_VERIFY_RIP_VERIFY = 2649,
    IDS_VERIFY_RIP_CLOSE = 2650,
    IDS_VERIFY_RIP_CUE_LABEL = 2651,
    IDS_VERIFY_RIP_FILTER = 2652,
    IDS_VERIFY_RIP_WORKING = 2653,

    // The input pickers' filter of every audio format the encoding jobs read.
    IDS_AUDIO_FILES = 2750,
    // The grabber's folder picker when it saves FLAC files.
    IDS_GRAB_FLAC_FOLDER = 2751,
    // The grabber's button for the chosen format's settings, its folder picker for the
    // formats other than WAV and FLAC ("%1" the format's name) and the settings' title.
    IDS_GRAB_ENCODER_SETTINGS = 2752,
    IDS_GRAB_FORMAT_FOLDER = 2753,
    IDS_ENCODER_SETTINGS_TITLE = 2754,

    // MP3 tags.
    IDS_ID3V2_TAG = 2800,
    IDS_REPLAYGAIN = 2801,

    // Batches that convert several files at once: the Options dialog's count, and the
    // files a batch cut short on Abort and kept aside.
    IDS_PARALLEL_JOBS_LABEL = 2850,
    IDS_PARALLEL_ALL_CORES = 2851,
    IDS_PARTIALS_KEPT = 2852,

    // Final names of a job that something already has.
    IDS_NAMES_TAKEN_ASK = 2950,
    IDS_BUTTON_REPLACE = 2951,
    IDS_BUTTON_KEEP_BOTH = 2952,
    IDS_TRACK_NAME_TAKEN = 2953,
    IDS_CD_TEMP_FOLDER_FAILED = 2954,
    IDS_GRAB_NOT_ALL_SAVED = 2955,
};

// Own texts that the code finds by their English words rather than by a name: the labels
// and buttons of the dialog templates, the unit of a count ("Track(s)"), the Options
// dialog's box for disc names and covers and the grabber's choice of file format. Their
// numbers are taken as well; no named id above may fall inside these ranges.
struct StringIdRange {
    int first;
    int last;
};
inline constexpr StringIdRange kTextsFoundByWords[] = {
    {2409, 2454},
    {2456, 2494},
    {2496, 2496},
    {2512, 2518},
    // The grabber's "Save as" label and its two formats.
    {2700, 2702},
};

} // namespace cld
