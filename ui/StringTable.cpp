#include "StringTable.h"

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
    // Disc names and covers from MusicBrainz
    StringEntry{2500, "Asking MusicBrainz (%1)..."},
    StringEntry{2501, "MusicBrainz does not know this disc."},
    StringEntry{2502, "MusicBrainz is busy; try again in %1 seconds."},
    StringEntry{2503, "MusicBrainz is busy; try again later."},
    StringEntry{2504, "MusicBrainz could not be reached (%1)."},
    StringEntry{2505, "MusicBrainz did not answer in time."},
    StringEntry{2506, "MusicBrainz's answer could not be read."},
    StringEntry{2507, "MusicBrainz refused the look-up: %1"},
    StringEntry{2508, "Names from MusicBrainz: %1."},
    StringEntry{2509, "The MusicBrainz and cover servers must each be empty (the public "
                      "server), a host name, host:port or an address such as "
                      "http://host:port/."},
    StringEntry{2510, "The MusicBrainz look-up was cancelled."},
    StringEntry{2511, "Names from MusicBrainz: %1, with its cover."},
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
