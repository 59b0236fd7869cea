#include "AppResources.h"
#include "BuiltinResources.h"
#include "CLDResLibrary.h"
#include "StringTable.h"
#include "TestEnv.h"

#include <gtest/gtest.h>
#include <set>
#include <utility>

namespace {

// Every text the program shows from its string table, written out independently of the
// table itself so that a typo or a lost entry on either side shows up.
const std::pair<int, const char*> kExpected[] = {
    {101, "&About Calderine..."},
    {102, "Exit from Calderine."},
    {103, "Minimize Calderine."},
    {104, "Video Options"},
    {105, "Audio Options"},
    {106, "Help"},
    {107, "Convert CD-Audio Tracks to .WAV (Windows PCM WAVE) files."},
    {121, "Select a Folder where to Save the WAV file(s)..."},
    {122, "You did not selected any Audio track for reading...!"},
    {124, "Error: You had selected an invalid path."},
    {126, "Reading aborted by user !"},
    {127, "The selected track(s) has been saved to disk."},
    {128, "Deselect &All Tracks"},
    {129, "Select &All Tracks"},
    {142, "Please Insert an Audio CD in the current CD-ROM drive."},
    {146, "Error: Cannot Initialize WinSockets."},
    {147, "The Disc was not found in the FreeDB database."},
    {148, "No disc Title Selected.\nPlease Select a disc Title."},
    {149, "Error: Cannot Read the Disc Information from the FreeDB Server."},
    {150, "Convert CD-Audio Tracks to .WMA (Windows Media Audio V8) files."},
    {151, "OLE Initialization Failed !"},
    {152, "Error: Cannot initialize cldrip.dll !"},
    {154, "Error: Cannot open the input file."},
    {155, "Error: Input file is not a Windows PCM WAVE File.\nYou must use a Windows PCM WAVE "
          "file at 44KHz, 16-bit Stereo or Mono."},
    {156, "Process completed."},
    {157, "Please enter the output folder location !"},
    {158, "Convert CD-Audio Tracks to .MP3 files."},
    {161, "Convert/Encode from Line-In or Microphone to WMA (Windows Media Audio V8) file."},
    {162, "Please select the encoding bitrate:"},
    {163, "Please select the minimum VBR bitrate:"},
    {164, "Calderine needs to restart your computer in order to register the Windows Media "
          "Audio Encoder DLL files.\n\nDo you want restart Windows now ?"},
    {165, "Select a Folder where to Save the MP3 file(s)..."},
    {166, "Select a Folder where to Save the WMA file(s)..."},
    {168, "Stopped."},
    {169, "Recording."},
    {170, "Convert/Encode from Line-In or Microphone to MP3 audio file."},
    {171, "Paused."},
    {172, "Convert / Encode a .WAV file or an entire folder with .WAV files to WMA (Windows "
          "Media Audio V8) file(s)."},
    {173, "Convert / Encode a .WAV file or an entire folder with .WAV files to .MP3 file(s)."},
    {174, "Please select a folder where to save the .WMA file(s)"},
    {175, "Please select a folder with .WAV file(s)"},
    {176, "Please enter the input folder location or specify an input filename if you choosed "
          "a file encoding !"},
    {181, "The selected folder does not contain any .WAV file !"},
    {182, "Please select a folder where to save the .MP3 file(s)"},
    {183, " CD-Audio -> MP3 Encoding Progress"},
    {184, " Folder -> MP3 Encoding Progress"},
    {185, " File -> MP3 Encoding Progress"},
    {186, "Convert .WMA (Windows Media Audio) file(s) to .WAV (Windows PCM WAVE) file(s)."},
    {187, "Convert .MP3 file(s) to .WAV (Windows PCM WAVE) file(s)."},
    {188, "Select a folder with .WMA file(s)."},
    {189, "Select a folder where to save the .WAV file(s)."},
    {190, "The selected folder does not contain any .WMA file !"},
    {191, "Process aborted by user !"},
    {192, "Please select a folder with .MP3 file(s)"},
    {193, "MP3 Folder -> WAV Decoding Progress"},
    {194, "MP3 File - > WAV Decoding Progress"},
    {195, "Error: Cannot open the input file."},
    {196, "Error: Cannot open/create the output file."},
    {197, "Error: The input file has an invalid format."},
    {200, "Unknown error  !"},
    {201, "Error: The MP3 encoder initialization failed."},
    {202, "Error: Cannot read the MP3 header."},
    {203, "Convert from .AVI or .MPG video file(s) to .WMV (Windows Media Video V8) file(s)."},
    {204, "Please enter the output filename."},
    {205, "Please enter the input filename."},
    {206, "Capture to WMV (Windows Media Video V8) using a video capture device or screen "
          "caputure."},
    {216, "You need to re-start Calderine in order to use the new selected Language."},
    {217, "Change Options."},
};

TEST(StringTable, HoldsEveryTextOnceUnderItsId) {
    const auto table = cld::builtinStrings();
    for (const auto& [id, text] : kExpected) {
        int found = 0;
        for (const cld::StringEntry& e : table)
            found += e.id == id ? 1 : 0;
        EXPECT_EQ(found, 1) << "id " << id;
        const char* actual = cld::findEntry(table, id);
        ASSERT_NE(actual, nullptr) << "id " << id;
        EXPECT_STREQ(actual, text) << "id " << id;
    }
}

TEST(StringTable, ConnectErrorNamesTheServiceAndKeepsItsTwoLines) {
    const char* text = cld::findEntry(cld::builtinStrings(), 145);
    ASSERT_NE(text, nullptr);
    const std::string s(text);
    EXPECT_EQ(s.rfind("Error: Cannot connect to ", 0), 0u);
    EXPECT_NE(s.find(", probably the server is busy.\nYou can try again later."),
              std::string::npos);
}

TEST(StringTable, UnknownIdsAndEmptyTablesFindNothing) {
    EXPECT_EQ(cld::findEntry(cld::builtinStrings(), 0), nullptr);
    EXPECT_EQ(cld::findEntry(cld::builtinStrings(), 100), nullptr);
    EXPECT_EQ(cld::findEntry(cld::builtinStrings(), 99999), nullptr);
    EXPECT_EQ(cld::findEntry({}, 101), nullptr);
}

TEST(StringTable, DialogCaptionsCarryTheirTitles) {
    const auto captions = cld::builtinDialogCaptions();
    EXPECT_STREQ(cld::findEntry(captions, 102), "Calderine 2002");
    EXPECT_STREQ(cld::findEntry(captions, 144), "Calderine 2002 - CD-Audio Grabber");
    EXPECT_STREQ(cld::findEntry(captions, 176), "Calderine - Options");
    EXPECT_STREQ(cld::findEntry(captions, 177), "Calderine - Browse FreeDB Internet Servers");
}

class ResourceLookup : public ::testing::Test {
protected:
    void TearDown() override { AppResources::setSource(nullptr); }
};

TEST_F(ResourceLookup, AnswersEmptyWithoutASource) {
    AppResources::setSource(nullptr);
    EXPECT_TRUE(AppResources::string(152).isEmpty());
    EXPECT_TRUE(AppResources::bitmap(129).isNull());
    EXPECT_TRUE(AppResources::png(172).isNull());
    EXPECT_TRUE(AppResources::icon(128).isNull());
}

TEST_F(ResourceLookup, BuiltinSourceServesStringsAndTheLibraryImages) {
    CLDResLibrary lib;
    ASSERT_TRUE(lib.load(QString::fromStdString(cldtest::binDir().string())))
        << lib.errorText().toStdString();
    AppResources::setSource(std::make_unique<BuiltinResources>(nullptr, &lib));
    EXPECT_EQ(AppResources::string(152), QStringLiteral("Error: Cannot initialize cldrip.dll !"));
    EXPECT_EQ(AppResources::caption(102), QStringLiteral("Calderine 2002"));

    // The launcher's PNG images at the sizes its buttons have, and the splash picture.
    const std::pair<int, QSize> sizes[] = {
        {107, {157, 95}},  {108, {157, 95}},  {110, {157, 95}},  {111, {157, 95}},
        {112, {161, 93}},  {113, {161, 93}},  {114, {161, 93}},  {115, {161, 93}},
        {117, {158, 85}},  {118, {158, 85}},  {119, {162, 88}},  {120, {162, 88}},
        {121, {160, 159}}, {122, {160, 159}}, {123, {151, 150}}, {124, {151, 150}},
        {125, {26, 26}},   {126, {26, 26}},   {127, {68, 73}},   {128, {68, 73}},
        {129, {132, 105}}, {130, {132, 105}}, {131, {164, 131}}, {132, {164, 131}},
        {172, {600, 424}},
    };
    for (const auto& [id, size] : sizes) {
        const QImage img = AppResources::png(id);
        ASSERT_FALSE(img.isNull()) << "png " << id;
        EXPECT_EQ(img.size(), size) << "png " << id;
    }
    // Hover and normal pictures differ: the hover state must be visible.
    EXPECT_NE(AppResources::png(107), AppResources::png(108));
    // The type is matched without regard to case; unknown ids and types give nothing.
    EXPECT_FALSE(lib.image(QStringLiteral("png"), 107).isNull());
    EXPECT_TRUE(lib.image(QStringLiteral("PNG"), 109).isNull());
    EXPECT_TRUE(lib.image(QStringLiteral("BITMAP"), 107).isNull());
    EXPECT_TRUE(AppResources::bitmap(129).isNull()); // no program pictures in this source
}

TEST(CLDResLibraryLoad, MissingLibraryIsReportedNotFatal) {
    // A folder without the library, and the loader's search path does not hold it either.
    CLDResLibrary other;
    EXPECT_FALSE(other.load(QStringLiteral("/nonexistent-folder")));
    EXPECT_FALSE(other.isLoaded());
    EXPECT_FALSE(other.errorText().isEmpty());
    EXPECT_TRUE(other.image(QStringLiteral("PNG"), 107).isNull());
}

} // namespace
