#include "DialogGallery.h"

#include "CAVI2WMVProgressDlg.h"
#include "CAVI2WMVSettingsDlg.h"
#include "CAboutDlg.h"
#include "CCDGrabDlg.h"
#include "CCapture2WMVProgressDlg.h"
#include "CCapture2WMVSettingsDlg.h"
#include "CDecode2WAVDlg.h"
#include "CEncoderProgressDlg.h"
#include "CFolder2MP3SettingsDlg.h"
#include "CFolder2WMASettingsDlg.h"
#include "CFreeDBQueryDlg.h"
#include "CFreeDBServersDlg.h"
#include "CMIC2MP3ProgressDlg.h"
#include "CMIC2MP3SettingsDlg.h"
#include "CMIC2WMAProgressDlg.h"
#include "CMIC2WMASettingsDlg.h"
#include "CMP3AdvancedSettingsDlg.h"
#include "CMP3EncoderProgressDlg.h"
#include "CMP3SettingsDlg.h"
#include "COptionsDlg.h"
#include "CReadingProgressDlg.h"
#include "CWMASettingsDlg.h"
#include "CWMFRedistWaitDlg.h"
#include "JobContext.h"
#include "JobSpec.h"
#include "Mp3RecorderEngine.h"
#include "WmEncoderControl.h"
#include "WmaProfiles.h"

#include <QEvent>

namespace cld {

namespace {

// The parameters a progress dialog is opened with; the dialogs keep a reference.
cld::engine::JobSpec& sampleParameters() {
    static cld::engine::JobSpec params = [] {
        cld::engine::JobSpec p;
        p.inputPath = "/home/username/Music/Artist Name - Album Name/01 - First Track.wav";
        p.outputPath = "/home/username/Music/Artist Name - Album Name/";
        return p;
    }();
    return params;
}

// The sample job in `mode`.
cld::engine::JobSpec sampleJob(cld::engine::JobMode mode) {
    cld::engine::JobSpec job = sampleParameters();
    job.mode = mode;
    return job;
}

template <class D, class... Args> std::unique_ptr<QDialog> make(Args&&... args) {
    return std::make_unique<D>(std::forward<Args>(args)...);
}

} // namespace

bool HoldQueuedWork::eventFilter(QObject* watched, QEvent* event) {
    (void)watched;
    return event->type() == QEvent::MetaCall;
}

const std::vector<DialogGallery::Entry>& DialogGallery::entries() {
    using E = DialogGallery::Entry;
    static const std::vector<E> list{
        {173, QStringLiteral("about"), QStringLiteral("About Calderine 2002"),
         [](JobContext&, QWidget* launcher) { return make<CAboutDlg>(launcher); }},
        {176, QStringLiteral("options"), QStringLiteral("Calderine - Options"),
         [](JobContext& c, QWidget* launcher) {
             return make<COptionsDlg>(c.settings, COptionsDlg::builtinLanguages(), launcher);
         }},
        {177, QStringLiteral("freedb_servers"),
         QStringLiteral("Calderine - Browse FreeDB Internet Servers"),
         [](JobContext& c, QWidget* launcher) {
             return make<CFreeDBServersDlg>(c.settings, launcher);
         }},
        {144, QStringLiteral("cd_grabber"), QStringLiteral("Calderine 2002 - CD-Audio Grabber"),
         [](JobContext& c, QWidget* launcher) { return make<CCDGrabDlg>(c, false, launcher); }},
        {154, QStringLiteral("freedb_query"),
         QStringLiteral("Calderine - Get Track Names from Internet FreeDB"),
         [](JobContext& c, QWidget* launcher) {
             return make<CFreeDBQueryDlg>(c.settings, CFreeDBQueryDlg::Disc{}, launcher);
         }},
        {149, QStringLiteral("cd_reading"), QStringLiteral("Reading CD-Audio Data..."),
         [](JobContext&, QWidget*) { return make<CReadingProgressDlg>(); }},
        {160, QStringLiteral("mp3_settings"), QStringLiteral("Calderine - MP3 Settings / Options"),
         [](JobContext& c, QWidget* launcher) {
             return make<CMP3SettingsDlg>(c, sampleParameters(), launcher);
         }},
        {162, QStringLiteral("mp3_advanced"), QStringLiteral("Calderine - MP3 - Advanced Settings"),
         [](JobContext& c, QWidget* launcher) {
             return make<CMP3AdvancedSettingsDlg>(c.settings, 96, 11, launcher);
         }},
        {157, QStringLiteral("wma_settings"), QStringLiteral("Calderine - WMA Settings..."),
         [](JobContext& c, QWidget* launcher) {
             return make<CWMASettingsDlg>(c, sampleParameters(), launcher);
         }},
        {167, QStringLiteral("folder_to_mp3"), QStringLiteral("Calderine - MP3 Settings / Options"),
         [](JobContext& c, QWidget* launcher) {
             return make<CFolder2MP3SettingsDlg>(c, sampleParameters(), launcher);
         }},
        {166, QStringLiteral("folder_to_wma"), QStringLiteral("Calderine - WMA Settings..."),
         [](JobContext& c, QWidget* launcher) {
             return make<CFolder2WMASettingsDlg>(c, sampleParameters(), launcher);
         }},
        {168, QStringLiteral("wma_to_wav"), QStringLiteral("Calderine - Decode WMA to WAV"),
         [](JobContext& c, QWidget* launcher) {
             return make<CDecode2WAVDlg>(c, sampleParameters(), CDecode2WAVDlg::Source::Wma,
                                         launcher);
         }},
        {168, QStringLiteral("mp3_to_wav"), QStringLiteral("Calderine - Decode MP3 to WAV"),
         [](JobContext& c, QWidget* launcher) {
             return make<CDecode2WAVDlg>(c, sampleParameters(), CDecode2WAVDlg::Source::Mp3,
                                         launcher);
         }},
        {159, QStringLiteral("mp3_progress"),
         // The mode's title is added when the batch starts, which the gallery holds back.
         QStringLiteral("Calderine 2002 - "),
         [](JobContext& c, QWidget* launcher) {
             return make<CMP3EncoderProgressDlg>(c, sampleJob(cld::engine::JobMode::CdEncode),
                                                 launcher);
         }},
        {158, QStringLiteral("wma_progress"), QStringLiteral("Calderine 2002 - "),
         [](JobContext& c, QWidget* launcher) {
             return make<CEncoderProgressDlg>(c, sampleJob(cld::engine::JobMode::FolderEncode),
                                              createMediaEncoder(c), launcher);
         }},
        {164, QStringLiteral("mic_to_mp3_settings"),
         QStringLiteral("Calderine - MP3 Settings / Options"),
         [](JobContext& c, QWidget* launcher) { return make<CMIC2MP3SettingsDlg>(c, launcher); }},
        {165, QStringLiteral("mic_to_mp3_recording"),
         QStringLiteral("Calderine - MIC / Line-IN to MP3 Recording"),
         [](JobContext& c, QWidget* launcher) {
             static Mp3RecorderEngine engine;
             return make<CMIC2MP3ProgressDlg>(c, engine, 0, QStringLiteral("Line-In (hw:0)"),
                                              launcher);
         }},
        {161, QStringLiteral("mic_to_wma_settings"),
         QStringLiteral("Calderine - LineIn/MIC Recorder - WMA Settings"),
         [](JobContext& c, QWidget* launcher) { return make<CMIC2WMASettingsDlg>(c, launcher); }},
        {163, QStringLiteral("mic_to_wma_recording"),
         QStringLiteral("Calderine - LineIn / MIC to WMA Recording Status"),
         [](JobContext& c, QWidget* launcher) {
             return make<CMIC2WMAProgressDlg>(c, QStringLiteral("DEVICE://default"), launcher);
         }},
        {169, QStringLiteral("video_settings"), QStringLiteral("Calderine - WMA Settings..."),
         [](JobContext& c, QWidget* launcher) { return make<CAVI2WMVSettingsDlg>(c, launcher); }},
        {170, QStringLiteral("video_progress"),
         QStringLiteral("Calderine - Windows Media Video encoding progress"),
         [](JobContext& c, QWidget* launcher) { return make<CAVI2WMVProgressDlg>(c, launcher); }},
        {171, QStringLiteral("capture_settings"), QStringLiteral("Calderine - WMA Settings..."),
         [](JobContext& c, QWidget* launcher) {
             return make<CCapture2WMVSettingsDlg>(c, launcher);
         }},
        {172, QStringLiteral("capture_progress"),
         QStringLiteral("Calderine - Windows Media Video encoding progress"),
         [](JobContext& c, QWidget* launcher) {
             return make<CCapture2WMVProgressDlg>(c, launcher);
         }},
        {175, QStringLiteral("runtime_install"),
         QStringLiteral("Installing Windows Media Audio & Video files..."),
         [](JobContext&, QWidget* launcher) { return make<CWMFRedistWaitDlg>(launcher); }},
    };
    return list;
}

} // namespace cld
