#include "StringTable.h"

#include "StringIds.h"

#include <algorithm>
#include <array>

namespace cld {
namespace {

// The program's own strings. Texts are the user-visible ones exactly as they are shown.
constexpr std::array kStrings{
    StringEntry{101, "&About Calderine..."},
    StringEntry{102, "Exit from Calderine."},
    StringEntry{103, "Minimize Calderine."},
    StringEntry{104, "Video Options"},
    StringEntry{105, "Audio Options"},
    StringEntry{106, "Help"},
    StringEntry{107, "Convert CD-Audio Tracks to .WAV (Windows PCM WAVE) files."},
    StringEntry{121, "Select a Folder where to Save the WAV file(s)..."},
    StringEntry{122, "You did not selected any Audio track for reading...!"},
    StringEntry{124, "Error: You had selected an invalid path."},
    StringEntry{126, "Reading aborted by user !"},
    StringEntry{127, "The selected track(s) has been saved to disk."},
    StringEntry{128, "Deselect &All Tracks"},
    StringEntry{129, "Select &All Tracks"},
    StringEntry{142, "Please Insert an Audio CD in the current CD-ROM drive."},
    StringEntry{145, "Error: Cannot connect to gnudb.org, probably the server is busy.\nYou can "
                     "try again later."},
    StringEntry{146, "Error: Cannot Initialize WinSockets."},
    StringEntry{147, "The Disc was not found in the FreeDB database."},
    StringEntry{148, "No disc Title Selected.\nPlease Select a disc Title."},
    StringEntry{149, "Error: Cannot Read the Disc Information from the FreeDB Server."},
    StringEntry{150, "Convert CD-Audio Tracks to .WMA (Windows Media Audio V8) files."},
    StringEntry{151, "OLE Initialization Failed !"},
    StringEntry{152, "Error: Cannot initialize cldrip.dll !"},
    StringEntry{154, "Error: Cannot open the input file."},
    StringEntry{155, "Error: Input file is not a Windows PCM WAVE File.\nYou must use a Windows "
                     "PCM WAVE file at 44KHz, 16-bit Stereo or Mono."},
    StringEntry{156, "Process completed."},
    StringEntry{157, "Please enter the output folder location !"},
    StringEntry{158, "Convert CD-Audio Tracks to .MP3 files."},
    StringEntry{161, "Convert/Encode from Line-In or Microphone to WMA (Windows Media Audio V8) "
                     "file."},
    StringEntry{162, "Please select the encoding bitrate:"},
    StringEntry{163, "Please select the minimum VBR bitrate:"},
    StringEntry{164, "Calderine needs to restart your computer in order to register the Windows "
                     "Media Audio Encoder DLL files.\n\nDo you want restart Windows now ?"},
    StringEntry{165, "Select a Folder where to Save the MP3 file(s)..."},
    StringEntry{166, "Select a Folder where to Save the WMA file(s)..."},
    StringEntry{168, "Stopped."},
    StringEntry{169, "Recording."},
    StringEntry{170, "Convert/Encode from Line-In or Microphone to MP3 audio file."},
    StringEntry{171, "Paused."},
    StringEntry{172, "Convert / Encode a .WAV file or an entire folder with .WAV files to WMA "
                     "(Windows Media Audio V8) file(s)."},
    StringEntry{173, "Convert / Encode a .WAV file or an entire folder with .WAV files to .MP3 "
                     "file(s)."},
    StringEntry{174, "Please select a folder where to save the .WMA file(s)"},
    StringEntry{175, "Please select a folder with .WAV file(s)"},
    StringEntry{176, "Please enter the input folder location or specify an input filename if you "
                     "choosed a file encoding !"},
    StringEntry{181, "The selected folder does not contain any .WAV file !"},
    StringEntry{182, "Please select a folder where to save the .MP3 file(s)"},
    StringEntry{183, " CD-Audio -> MP3 Encoding Progress"},
    StringEntry{184, " Folder -> MP3 Encoding Progress"},
    StringEntry{185, " File -> MP3 Encoding Progress"},
    StringEntry{186, "Convert .WMA (Windows Media Audio) file(s) to .WAV (Windows PCM WAVE) "
                     "file(s)."},
    StringEntry{187, "Convert .MP3 file(s) to .WAV (Windows PCM WAVE) file(s)."},
    StringEntry{188, "Select a folder with .WMA file(s)."},
    StringEntry{189, "Select a folder where to save the .WAV file(s)."},
    StringEntry{190, "The selected folder does not contain any .WMA file !"},
    StringEntry{191, "Process aborted by user !"},
    StringEntry{192, "Please select a folder with .MP3 file(s)"},
    StringEntry{193, "MP3 Folder -> WAV Decoding Progress"},
    StringEntry{194, "MP3 File - > WAV Decoding Progress"},
    StringEntry{195, "Error: Cannot open the input file."},
    StringEntry{196, "Error: Cannot open/create the output file."},
    StringEntry{197, "Error: The input file has an invalid format."},
    StringEntry{200, "Unknown error  !"},
    StringEntry{201, "Error: The MP3 encoder initialization failed."},
    StringEntry{202, "Error: Cannot read the MP3 header."},
    StringEntry{203, "Convert from .AVI or .MPG video file(s) to .WMV (Windows Media Video V8) "
                     "file(s)."},
    StringEntry{204, "Please enter the output filename."},
    StringEntry{205, "Please enter the input filename."},
    StringEntry{206, "Capture to WMV (Windows Media Video V8) using a video capture device or "
                     "screen caputure."},
    StringEntry{216, "You need to re-start Calderine in order to use the new selected Language."},
    StringEntry{217, "Change Options."},
    StringEntry{IDS_HELP_MISSING, "Error: Cannot find the help file %1."},
    StringEntry{IDS_HELP_BROKEN, "Error: The help file %1 is damaged and cannot be shown."},
    StringEntry{IDS_JOB_UNAVAILABLE, "This job is not available in this version of Calderine."},
    StringEntry{IDS_LAME_CREDIT, "MP3 encoding by the LAME library (lame.sourceforge.io), "
                                 "licensed under the GNU LGPL."},
    StringEntry{IDS_ABOUT_VERSION, "Calderine 2002, Version 4.05a"},
    StringEntry{IDS_OPEN_TITLE, "Open"},
    StringEntry{940, "Error: Reading the CD stopped before every selected track was saved.\n%1"},
    StringEntry{941, "The selected track(s) has been saved to disk, but not every track could be "
                     "read exactly:\n%1"},
    StringEntry{942, "Error: Cannot create the folder %1."},
    StringEntry{943, "Error: The proxy port must be a number from 1 to 65535."},
    StringEntry{944, "Unknown"},
    StringEntry{951, "The recording could not be started: the selected capture device offers "
                     "none of the formats Calderine records in (44100, 22050 or 11025 Hz, 8 or "
                     "16 bits, mono or stereo)."},
    StringEntry{952, "The recording could not be started: %1"},
    StringEntry{960, " CD-Audio -> WMA Encoding Progress"},
    StringEntry{961, " Folder -> WMA Encoding Progress"},
    StringEntry{962, " File -> WMA Encoding Progress"},
    StringEntry{963, " WMA Folder -> WAV Progress"},
    StringEntry{964, " WMA -> WAV Progress"},
    StringEntry{965, "Please enter an integer."},
    StringEntry{966, "Please enter an integer between %1 and %2."},
    StringEntry{967, "Error: The CD-Audio track could not be read.\n%1"},
    StringEntry{968, "Error: The CD ripper library is not available."},
    StringEntry{969, "Error: %1"},
    StringEntry{970, "There is no Windows Media audio profile to encode with."},
    StringEntry{IDS_WMFDIST_MISSING, "Error: Can't find WMFDist.exe in the folder where Calderine "
                                     "was installed."},
    StringEntry{IDS_WMF_CONTINUE_ASK, "Windows Media Audio and Video encoding will not work.\nDo "
                                      "you want to start Calderine without WMA and WMV Support?"},
    StringEntry{IDS_WMEDIST_MISSING, "Error: Can't find WMEDist.exe in the folder where Calderine "
                                     "was installed."},
    StringEntry{IDS_WME_CONTINUE_ASK, "Windows Media Audio encoding will not work.\nDo you want to "
                                      "start Calderine without WMA Support?"},
    StringEntry{IDS_CACHE_DAMAGED, "The CD information cache was damaged. It has been kept as %1 "
                                   "and a new, empty cache was started."},
    StringEntry{IDS_CACHE_LOCKED,
                "The CD information cache %1 is locked by another program. Calderine starts "
                "without it: disc names still come from CD-TEXT and the servers, and the cache "
                "is used as soon as it is free."},
    StringEntry{2000, "File: %1"},
    StringEntry{2001, "Reason: %1"},
    StringEntry{2002, "Do you want to skip this file and go on with the other files?\n(No stops "
                      "here.)"},
    StringEntry{2003, "%1 of %2 files were converted."},
    StringEntry{2004, "Skipped:\n%1"},
    StringEntry{2005, "The unfinished file of the aborted track was kept as %1."},
    StringEntry{2006, "%1 already exists.\nDo you want to replace it?"},
    StringEntry{2007, "%1 files"},
    StringEntry{2008, "Error: The output file could not be written; the unfinished file was "
                      "removed."},
    StringEntry{2009, "The conversion was stopped."},
    StringEntry{2010, "Not converted:\n%1"},
    StringEntry{2011, "The disk is full: the remaining files would not fit either, so the "
                      "conversion stops here."},
    StringEntry{2012, "The output would replace the input:\n%1\n\nPlease choose another "
                      "output file or folder."},
    StringEntry{IDS_NO_CAPTURE_DEVICE,
                "No recording device was found. Connect a microphone or a line input, or "
                "check that the sound card is switched on, then open this dialog again."},
    StringEntry{IDS_CAPTURE_DEVICE_MISSING,
                "The recording device %1 cannot be found. It may have been unplugged."},
    StringEntry{IDS_CAPTURE_DEVICE_BUSY_NOTE, "(in use by another program)"},
    StringEntry{IDS_RECORDING_WRITE_FAILED,
                "The recording stopped: the file %1 could not be written (%2). What was "
                "recorded up to then has been kept."},
    StringEntry{IDS_VIDEO_WRITE_FAILED,
                "The conversion failed: the file %1 could not be written (%2). The incomplete "
                "file has been removed."},
    StringEntry{IDS_VIDEO_INPUT_ENDED_EARLY,
                "The input file ended after %1 s of its %2 s. The output file holds the part "
                "that could be read."},
    StringEntry{IDS_OUTPUT_EXISTS_REPLACE,
                "The file %1 already exists.\nDo you want to replace it?"},
    StringEntry{IDS_VIDEO_INPUT_DAMAGED,
                "The input file is damaged: it could be read for %1 s only. The output file "
                "holds the part that could be read."},
    StringEntry{IDS_SCREEN_CAPTURE_STOP_HINT,
                "The screen is being recorded. To stop, click Calderine's entry in the task "
                "bar and press Stop (or Alt+S)."},
    StringEntry{IDS_CAPTURE_DEVICE_BUSY,
                "Another application is recording audio. Stop recording with this other "
                "application and then try to record again."},
    StringEntry{IDS_VIDEO_DEVICE_OPEN,
                "The capture device cannot be opened. It may be missing, or another program "
                "may be using it."},
    StringEntry{IDS_VIDEO_DEVICE_LOST,
                "The capture device stopped delivering data; it may have been disconnected. "
                "What was recorded so far has been kept."},
    StringEntry{IDS_VIDEO_NO_DISPLAY,
                "The screen cannot be captured because no display is available."},
    StringEntry{IDS_VIDEO_NO_VIDEO_STREAM, "The chosen profile has no video stream."},
    StringEntry{IDS_VIDEO_DEVICE_MISSING,
                "The capture device cannot be found. It may have been unplugged."},
    StringEntry{IDS_VIDEO_NO_CAPTURE_DEVICE, "No recording device was found."},
    StringEntry{IDS_VIDEO_DEVICE_FORMAT,
                "The recording device offers none of the formats Calderine records in."},
    // The media components' failures.
    StringEntry{IDS_MEDIA_PENDING, "The requested operation is pending completion."},
    StringEntry{IDS_MEDIA_ABORTED_BY_CLIENT, "The requested operation was aborted by the client."},
    StringEntry{
        IDS_MEDIA_NO_CONNECTION,
        "There is no connection established with the Windows Media server. The operation failed."},
    StringEntry{IDS_MEDIA_PROXY_CONNECT, "Unable to establish a connection to the proxy server. "
                                         "Please check your proxy server configuration."},
    StringEntry{IDS_MEDIA_SHUTDOWN, "Media closed because Windows was shut down."},
    StringEntry{IDS_MEDIA_NOT_IMPL,
                "This operation is not available in this version of the program."},
    StringEntry{IDS_MEDIA_POINTER, "The media component was used before it had been created."},
    StringEntry{IDS_MEDIA_FAIL, "The media component reported a failure it could not describe."},
    StringEntry{IDS_MEDIA_UNEXPECTED, "The media component reached a state it did not expect."},
    StringEntry{IDS_MEDIA_OUT_OF_MEMORY,
                "There is not enough memory to complete the media operation."},
    StringEntry{IDS_MEDIA_INVALID_ARG, "A value handed to the media component is out of range."},
    StringEntry{
        IDS_MEDIA_INPUT_OPEN,
        "The input file cannot be opened, or it is not a media file this program can read."},
    StringEntry{IDS_MEDIA_NO_AUDIO, "The input file contains no audio that can be decoded."},
    StringEntry{IDS_MEDIA_OUTPUT_CREATE, "The output file cannot be created. Check that the folder "
                                         "exists and that you may write to it."},
    StringEntry{IDS_MEDIA_CODEC_MISSING, "A codec that the chosen profile needs is not installed."},
    StringEntry{IDS_MEDIA_CODEC_OPEN,
                "The codec does not accept the settings of the chosen profile."},
    StringEntry{IDS_MEDIA_ENCODE_FAILED,
                "Encoding stopped because the codec or the output file failed."},
    StringEntry{IDS_MEDIA_PROFILE_INDEX,
                "The chosen profile does not exist in the profile collection."},
    StringEntry{IDS_MEDIA_NO_SOURCE_GROUP, "No source has been set up for encoding."},
    StringEntry{IDS_MEDIA_NO_OUTPUT_FILE, "No output file has been named for encoding."},
    StringEntry{IDS_MEDIA_BUSY, "The encoder is still busy with another file."},
    StringEntry{IDS_MEDIA_PROFILE_INVALID, "The profile file is damaged or incomplete."},
    StringEntry{IDS_MEDIA_TIMEOUT, "The media reader did not answer within ten seconds."},
    StringEntry{IDS_MEDIA_READER_STATE,
                "The media reader is not in the state this operation needs."},
    StringEntry{IDS_MEDIA_WAV_FORMAT,
                "The file is not a WAVE file this program can read (PCM of 8, 16, 24 or 32 bits or "
                "32- or 64-bit float, mono or stereo)."},
    StringEntry{IDS_MEDIA_READ_FAILED,
                "The input file cannot be read; it may be damaged or cut short."},
    StringEntry{IDS_MEDIA_NO_INPUT, "No input has been named for the source."},
    StringEntry{IDS_MEDIA_NO_VIDEO, "The input file contains no video that can be decoded."},
    StringEntry{IDS_MEDIA_DECODE_FAILED, "The input file could not be decoded."},
    StringEntry{
        IDS_MEDIA_OUTPUT_NOT_FILE,
        "The output path names a device, a pipe or a folder, not a file. Choose a file name."},
    StringEntry{IDS_MEDIA_NO_AUDIO_DECODED,
                "The input file contains no audio frame that could be decoded."},
    StringEntry{IDS_MEDIA_CHECKSUM_MISMATCH, "The decoded audio does not match the checksum stored "
                                             "in the input file; the file is damaged."},
    StringEntry{IDS_MEDIA_TRUNCATED,
                "The input file ends before its audio stream does; it has been cut short."},
    StringEntry{IDS_MEDIA_CONTENT_MISMATCH,
                "The content of the input file is not of the kind its name says."},
    StringEntry{IDS_MEDIA_WRITE_FAILED, "The output file cannot be written; the disk may be full."},
    // What a grab did to a track's sectors, and what to do about it.
    StringEntry{2200, "1 sector could not be read and is silent in the file"},
    StringEntry{2201, "%1 sectors could not be read and are silent in the file"},
    StringEntry{2202, "1 sector could not be verified (it may differ from the disc)"},
    StringEntry{2203, "%1 sectors could not be verified (they may differ from the disc)"},
    StringEntry{2204, "the file stops before the end of the track"},
    StringEntry{2205, "failed, no file was written"},
    StringEntry{2206, "not read"},
    StringEntry{2207, "its audio could not be verified (it may differ from the disc)"},
    StringEntry{2208, "some sectors could not be read"},
    StringEntry{2209, "Clean the disc and read these tracks again, or choose \"Jitter and Scratch "
                      "Repair\" as the error correction."},
    StringEntry{2210, "The drive could not read some sectors of a track; they are silent in the "
                      "file, or the file stops where reading failed."},
    StringEntry{2211, "Some sectors could not be verified: the drive did not deliver them the same "
                      "way twice, so they may differ from the disc."},
    // FreeDB server and identity
    StringEntry{2300, "The FreeDB server must be a host name, a host name and port (host:port) "
                      "or an address such as http://host:port/path."},
    StringEntry{2302, "The e-mail address is not valid.\nEnter an address such as "
                      "name@example.org, or leave the field empty."},
    StringEntry{2303, "Asking %1..."},
    StringEntry{2304, "FreeDB servers answer only programs that give their user's e-mail "
                      "address.\nEnter yours: it is kept with the options and sent with every "
                      "look-up.\nWithout one an anonymous identity is sent, which servers may "
                      "refuse."},
    StringEntry{2305, "Calderine - E-mail Address for FreeDB"},
    StringEntry{IDS_FREEDB_UNREACHABLE,
                "Error: Cannot reach %1: its name could not be looked up or the network "
                "cannot be reached.\nCheck this computer's connection to the internet, then "
                "try again."},
    // Names of controls without a label, and the texts of controls without an id.
    StringEntry{2400, "Choose the output folder"},
    StringEntry{2401, "Choose the input folder or file"},
    StringEntry{2402, "Choose the output folder or file"},
    StringEntry{2403, "Choose the input file"},
    StringEntry{2404, "Choose the output file"},
    StringEntry{2405, "Tracks"},
    StringEntry{2406, "Intro length in seconds"},
    StringEntry{2407, "Bitrate"},
    StringEntry{2408, "A track name can be at most %1 characters long."},
    StringEntry{2409, "Decode WMA to WAV"},
    StringEntry{2410, "Decode MP3 to WAV"},
    StringEntry{2411, "Input File"},
    StringEntry{2412, "Output File"},
    StringEntry{2413, "Current File"},
    StringEntry{2414, "Elapsed Time"},
    StringEntry{2415, "Total Elapsed Time"},
    StringEntry{2416, "Estimated Time"},
    StringEntry{2417, "Media Bitrate"},
    StringEntry{2418, "Output File Size"},
    StringEntry{2419, "Performance"},
    StringEntry{2420, "Samples per Second"},
    StringEntry{2421, "Disk space left"},
    StringEntry{2422, "Total disk space"},
    StringEntry{2423, "Current File Progress"},
    StringEntry{2424, "Overall Progress"},
    StringEntry{2425, "CDA Grabbing Progress"},
    StringEntry{2426, "Input"},
    StringEntry{2427, "Output"},
    StringEntry{2428, "Output Folder"},
    StringEntry{2429, "Encoded content time"},
    StringEntry{2430, "Yes"},
    StringEntry{2431, "No"},
    StringEntry{2432, "Input Capture Device"},
    StringEntry{2433, "Capture Device"},
    StringEntry{2434, "Signal Monitor"},
    StringEntry{2435, "Status"},
    StringEntry{2436, "Ready."},
    StringEntry{2437, "Reading"},
    StringEntry{2438, "Jitter Errors Corrected"},
    StringEntry{2439, "Current Track Progress"},
    StringEntry{2440, "Peak Value"},
    StringEntry{2441, "Year"},
    StringEntry{2442, "Comment"},
    StringEntry{2443, "Music Genre"},
    StringEntry{2444, "Album Name"},
    StringEntry{2445, "Select CD-ROM Drive"},
    StringEntry{2446, "Use Error Correction"},
    StringEntry{2447, "Track Name"},
    StringEntry{2448, "Track No."},
    StringEntry{2449, "Length"},
    StringEntry{2450, "Size"},
    StringEntry{2451, "Artist Name"},
    StringEntry{2452, "No Error Correction (faster)"},
    StringEntry{2453, "Jitter Correction (default)"},
    StringEntry{2454, "Jitter and Scratch Repair (slower)"},
    StringEntry{2455, "Windows Media Audio Profile"},
    StringEntry{2456, "VBR Minimum Bitrate"},
    StringEntry{2457, "VBR Maximum Bitrate"},
    StringEntry{2458, "ABR Mean Bitrate"},
    StringEntry{2459, "VBR Method"},
    StringEntry{2460, "VBR Encoding Quality"},
    StringEntry{2461, "Overall MP3 Encoding Quality"},
    StringEntry{2462, "Low"},
    StringEntry{2463, "High"},
    StringEntry{2464, "Higher Speed"},
    StringEntry{2465, "Higher Quality"},
    StringEntry{2466, "Channels"},
    StringEntry{2467, "FreeDB Servers"},
    StringEntry{2468, "FreeDB Server"},
    StringEntry{2469, "FreeDB Query Results"},
    StringEntry{2470, "Server"},
    StringEntry{2471, "Port"},
    StringEntry{2472, "Select Language"},
    StringEntry{2473, "E-mail"},
    StringEntry{2474, "Internet FreeDB Settings"},
    StringEntry{2475, "Select the Audio Capture Device"},
    StringEntry{2476, "Artist"},
    StringEntry{2477, "Title"},
    StringEntry{2478, "Category"},
    StringEntry{2479, "Disc ID"},
    StringEntry{2480, "Server Address"},
    StringEntry{2481, "Location"},
    StringEntry{2482, "OK"},
    StringEntry{2483, "Cancel"},
    StringEntry{2484, "Abort"},
    StringEntry{2485, "Stop"},
    StringEntry{2486, "Start"},
    StringEntry{2487, "Exit"},
    StringEntry{2488, "Pause"},
    StringEntry{2489, "Advanced Options"},
    StringEntry{2490, "Input Device"},
    StringEntry{2491, "Encoding Bitrate"},
    StringEntry{2492, "Free Disk Space"},
    StringEntry{2493, "Input Video Capture Device"},
    StringEntry{2494, "Input Audio Capture Device"},
    StringEntry{2495, "Encoding Progress"},
    StringEntry{2496, "Track(s)"},
    // The words drawn on the launcher's background and on the splash.
    StringEntry{2497, "Audio & Video Conversion Suite"},
    StringEntry{2498, "RIP  \u2022  ENCODE  \u2022  DECODE  \u2022  RECORD  \u2022  CAPTURE"},
    StringEntry{2499, "CD ripping  \u2022  MP3  \u2022  WMA  \u2022  WAV  \u2022  WMV"},
    // Disc names and covers from MusicBrainz
    StringEntry{2500, "Asking MusicBrainz (%1)..."},
    StringEntry{2501, "MusicBrainz does not know this disc."},
    StringEntry{2502, "MusicBrainz is busy; try again in %1 seconds."},
    StringEntry{2503, "MusicBrainz is busy; try again later."},
    StringEntry{2504, "MusicBrainz could not be reached (%1)."},
    StringEntry{2505, "MusicBrainz did not answer in time."},
    StringEntry{2506, "MusicBrainz's answer could not be read."},
    StringEntry{2507, "The MusicBrainz look-up failed: %1"},
    StringEntry{2508, "Names from MusicBrainz: %1."},
    StringEntry{2509, "The MusicBrainz and cover servers must each be empty (the public "
                      "server), a host name, host:port or an address such as "
                      "http://host:port/."},
    StringEntry{2510, "The MusicBrainz look-up was cancelled."},
    StringEntry{2511, "Names from MusicBrainz: %1, with its cover."},
    // The Options dialog's box for disc names and covers.
    StringEntry{2512, "Disc Names and Covers"},
    StringEntry{2513, "Ask"},
    StringEntry{2514, "MusicBrainz Server"},
    StringEntry{2515, "Cover Server"},
    StringEntry{2516, "MusicBrainz, then FreeDB"},
    StringEntry{2517, "MusicBrainz only"},
    StringEntry{2518, "FreeDB only"},
    // Verified rips: AccurateRip, the rip log and the drive's read offset.
    StringEntry{2600, "AccurateRip: all %1 tracks accurately ripped (confidence %2)"},
    StringEntry{2601, "AccurateRip: not accurately ripped: track(s) %1 (%2 of %3 tracks accurate)"},
    StringEntry{2602, "AccurateRip: disc not in the database"},
    StringEntry{2603, "AccurateRip: the database could not be reached (offline?); the checksums "
                      "are kept in the log"},
    StringEntry{2604, "AccurateRip: the look-up failed (%1); the checksums are kept in the log"},
    StringEntry{2605, "AccurateRip: the database entry is for another disc"},
    StringEntry{2606, "The log and cue sheet are in %1"},
    StringEntry{2607, "The rip log could not be written: %1"},
    StringEntry{2608, "The read offset stored for this drive (%1 samples) is outside -5000..5000 "
                      "and is not used."},
    StringEntry{2609, "The selected track(s) has been saved to disk.\n%1"},
    StringEntry{2610, "Read offset (samples):"},
    StringEntry{2611, "Most drives deliver audio shifted by a fixed number of samples. Set the "
                      "drive's read offset here so that rips are exact and can be verified "
                      "against other people's rips (AccurateRip)."},
    StringEntry{2612, "Detect with a known disc"},
    StringEntry{2613, "Read offset found: %1 samples. Press OK to keep it."},
    StringEntry{2614, "The read offset could not be detected: %1"},
    StringEntry{2615, "The read offset must lie between -5000 and 5000 samples."},
    StringEntry{2616, " Read Offset of the CD Drives "},
    StringEntry{2617, "&Drive:"},
    StringEntry{2618, "Check rips with the &AccurateRip database"},
    StringEntry{2619, "AccurateRip Ser&ver:"},
    StringEntry{2620, "The AccurateRip server must be empty (the public database) or an address "
                      "such as http://host:port/accuraterip/."},
    StringEntry{2630, "CTDB: accurate (confidence %1 of %2 submissions)"},
    StringEntry{2631,
                "CTDB: accurate, but shifted by %1 samples (confidence %2 of %3 submissions)"},
    StringEntry{2632, "CTDB: the rip differs from the database: track(s) %1"},
    StringEntry{2633, "CTDB: disc not in the database"},
    StringEntry{2634, "CTDB: the look-up failed (%1)"},
    StringEntry{2635, "The rip is verified by %1."},
    StringEntry{2636, "No database confirms the rip."},
    StringEntry{2646, "Verif&y a rip..."},
    StringEntry{2647, "Verify a Rip"},
    StringEntry{2648, "&Browse..."},
    StringEntry{2649, "&Verify"},
    StringEntry{2650, "Close"},
    StringEntry{2651, "&Cue sheet of the rip:"},
    StringEntry{2652, "Cue sheets (*.cue)"},
    StringEntry{2653, "Verifying..."},
    // The grabber's choice of file format.
    StringEntry{2700, "Save as"},
    StringEntry{2701, "WAV (uncompressed)"},
    StringEntry{2702, "FLAC (lossless)"},
    StringEntry{2750, "Audio files"},
    StringEntry{2751, "Select a Folder where to Save the FLAC file(s)..."},
    // The grabber's other formats and their settings.
    StringEntry{2752, "For&mat Settings..."},
    StringEntry{2753, "Select a Folder where to Save the %1 file(s)..."},
    StringEntry{2754, "%1 Settings"},
    // MP3 tags.
    StringEntry{2800, "Add a UTF-8 tag (ID3v2.4) at the start of the file"},
    StringEntry{2801, "Measure the loudness and add ReplayGain values (track and album) to that "
                      "tag"},
    // Batches that convert several files at once.
    StringEntry{2850, "&Files converted at once:"},
    StringEntry{2851, "One per processor core"},
    StringEntry{2852, "The unfinished files of the stopped jobs were kept under these names:\n%1"},
    // Final names of a job that something already has.
    StringEntry{2950, "%1 of the files this job writes already exist in the folder:\n%2\n\n"
                      "Replace them, or keep both (the new files get a number such as \" (2)\")?"},
    StringEntry{2951, "&Replace"},
    StringEntry{2952, "&Keep both"},
    StringEntry{2953, "not saved: \"%1\" is already there and was left as it is"},
    StringEntry{2954, "Error: Cannot create a folder for the temporary WAV files in %1."},
    StringEntry{2955, "Not every selected track was saved:\n%1"},
};

constexpr std::array kCaptions{
    StringEntry{102, "Calderine 2002"},
    StringEntry{144, "Calderine 2002 - CD-Audio Grabber"},
    StringEntry{149, "Reading CD-Audio Data..."},
    StringEntry{154, "Calderine - Get Track Names from Internet FreeDB"},
    StringEntry{157, "Calderine - WMA Settings..."},
    StringEntry{158, "Calderine 2002 - "},
    StringEntry{159, "Calderine 2002 - "},
    StringEntry{160, "Calderine - MP3 Settings / Options"},
    StringEntry{161, "Calderine - LineIn/MIC Recorder - WMA Settings"},
    StringEntry{162, "Calderine - MP3 - Advanced Settings"},
    StringEntry{163, "Calderine - LineIn / MIC to WMA Recording Status"},
    StringEntry{164, "Calderine - MP3 Settings / Options"},
    StringEntry{165, "Calderine - MIC / Line-IN to MP3 Recording"},
    StringEntry{166, "Calderine - WMA Settings..."},
    StringEntry{167, "Calderine - MP3 Settings / Options"},
    StringEntry{168, "Calderine - "},
    StringEntry{169, "Calderine - WMA Settings..."},
    StringEntry{170, "Calderine - Windows Media Video encoding progress"},
    StringEntry{171, "Calderine - WMA Settings..."},
    StringEntry{172, "Calderine - Windows Media Video encoding progress"},
    StringEntry{173, "About Calderine 2002"},
    StringEntry{175, "Installing Windows Media Audio && Video files..."},
    StringEntry{176, "Calderine - Options"},
    StringEntry{177, "Calderine - Browse FreeDB Internet Servers"},
    StringEntry{2520, "Calderine - Choose the Release from MusicBrainz"},
};

constexpr bool sortedUnique(const auto& table) {
    for (std::size_t i = 1; i < table.size(); ++i) {
        if (table[i - 1].id >= table[i].id)
            return false;
    }
    return true;
}
static_assert(sortedUnique(kStrings), "string ids must be sorted and unique");
static_assert(sortedUnique(kCaptions), "dialog ids must be sorted and unique");

} // namespace

std::span<const StringEntry> builtinStrings() {
    return kStrings;
}

std::span<const StringEntry> builtinDialogCaptions() {
    return kCaptions;
}

const char* findEntry(std::span<const StringEntry> table, int id) {
    const auto it = std::lower_bound(table.begin(), table.end(), id,
                                     [](const StringEntry& e, int key) { return e.id < key; });
    if (it == table.end() || it->id != id)
        return nullptr;
    return it->text;
}

} // namespace cld
