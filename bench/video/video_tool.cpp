// Converts one video file to WMV for the benchmark, three ways:
//   video_tool PROFILE_FOLDER "PROFILE NAME" INPUT OUTPUT            the encoder alone
//   video_tool PROFILE_FOLDER "PROFILE NAME" INPUT OUTPUT --views    with a preview and a
//       postview drawn in the program's own view areas, in a window of the progress
//       dialog's size
//   video_tool PROFILE_FOLDER "PROFILE NAME" INPUT OUTPUT --dialog   the whole job as a user
//       sees it: the conversion progress dialog, its waits and its closing message
// The last two need a Qt platform (QT_QPA_PLATFORM=offscreen without a screen) and print
// how many pictures each view received and painted.
#include "CAVI2WMVProgressDlg.h"
#include "CVideoViewArea.h"
#include "GenreList.h"
#include "GetErrorText.h"
#include "JobContext.h"
#include "MessageService.h"
#include "SettingsRecord.h"
#include "VideoJobState.h"
#include "WMException.h"
#include "WmDataView.h"
#include "WmEncoderControl.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

namespace {

// Messages of an unattended run: printed, and answered with the safe choice.
class PrintedMessages : public MessageService {
public:
    explicit PrintedMessages(bool* failed) : m_failed(failed) {}
    MessageResult show(const Message& message) override {
        std::fprintf(stderr, "message %d: %s\n", message.stringId, qPrintable(message.text));
        if (message.stringId != 156)
            *m_failed = true;
        return message.buttons == MessageButtons::Ok ? MessageResult::Ok : MessageResult::No;
    }

private:
    bool* m_failed;
};

int findProfile(WmEncoderControl& enc, const char* name) {
    for (int i = 0; i < enc.GetProfileCount(); ++i) {
        if (enc.GetProfileInfo(i).name == name)
            return i;
    }
    std::fprintf(stderr, "video_tool: no profile \"%s\"\n", name);
    return -1;
}

void printViews(const CVideoViewArea* preview, const CVideoViewArea* postview) {
    if (!preview || !postview)
        return;
    std::printf("preview %d received %d painted, postview %d received %d painted\n",
                preview->framesReceived(), preview->framesShown(), postview->framesReceived(),
                postview->framesShown());
}

int runDialog(int argc, char** argv) {
    namespace fs = std::filesystem;
    QApplication app(argc, argv);
    bool failed = false;
    MessageService::setInstance(std::make_unique<PrintedMessages>(&failed));
    SettingsRecord settings;
    GenreList genres;
    JobContext context(settings, genres);
    context.programFolder =
        QString::fromStdString(fs::absolute(argv[1]).parent_path().string() + "/");
    cld::VideoJobState& state = cld::videoJobState();
    state.inputPath = argv[3];
    state.outputPath = argv[4];
    state.profileIndex = findProfile(cld::sharedVideoEncoder(context), argv[2]);
    if (state.profileIndex < 0)
        return 2;
    int result = 0;
    {
        CAVI2WMVProgressDlg dlg(context, nullptr);
        dlg.exec();
        printViews(dlg.findChild<CVideoViewArea*>(QStringLiteral("1002")),
                   dlg.findChild<CVideoViewArea*>(QStringLiteral("1013")));
        result = dlg.result();
    }
    MessageService::setInstance(nullptr);
    if (result != QDialog::Accepted)
        std::fprintf(stderr, "video_tool: the dialog was not accepted\n");
    return failed || result != QDialog::Accepted ? 1 : 0;
}

int runEncoder(int argc, char** argv, bool views) {
    std::unique_ptr<QApplication> app;
    std::unique_ptr<QWidget> window;
    CVideoViewArea* previewArea = nullptr;
    CVideoViewArea* postviewArea = nullptr;
    if (views) {
        app = std::make_unique<QApplication>(argc, argv);
        window = std::make_unique<QWidget>();
        previewArea = new CVideoViewArea(1002, QStringLiteral("Preview ..."), window.get());
        postviewArea = new CVideoViewArea(1013, QStringLiteral("Postview ..."), window.get());
        auto* row = new QHBoxLayout(window.get());
        row->addWidget(previewArea);
        row->addWidget(postviewArea);
        window->resize(560, 240);
        window->show();
    }
    WmEncoderControl enc(argv[1], "");
    const int profile = findProfile(enc, argv[2]);
    if (profile < 0)
        return 2;
    WmDataView preview;
    WmDataView postview;
    const std::string input = std::string("FILE://") + argv[3];
    enc.PrepareForFile();
    WmSourceGroup& group = enc.AddSourceGroup();
    group.SetInput(input);
    group.AddVideoSource(input, views ? &preview : nullptr, views ? &postview : nullptr);
    group.SetProfile(enc.GetProfile(profile));
    group.Activate();
    enc.SetOutputFile(argv[4]);
    if (views) {
        preview.SetWindow(previewArea);
        preview.StartView();
        postview.SetWindow(postviewArea);
        postview.StartView();
    }
    enc.Start();
    if (views) {
        // The window paints while the encoder runs, as the dialog's does.
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (enc.GetRunState() != WmEncoderControl::kRunning)
                app->quit();
        });
        poll.start(5);
        app->exec();
    } else {
        while (enc.GetRunState() == WmEncoderControl::kRunning)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    preview.StopView();
    postview.StopView();
    if (enc.GetLastErrorCode() != 0) {
        std::fprintf(stderr, "video_tool: %s\n", GetErrorText(enc.GetLastErrorCode()).c_str());
        return 1;
    }
    printViews(previewArea, postviewArea);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: video_tool PROFILE_FOLDER PROFILE INPUT OUTPUT "
                             "[--views|--dialog]\n");
        return 2;
    }
    const std::string mode = argc > 5 ? argv[5] : "";
    try {
        if (mode == "--dialog")
            return runDialog(argc, argv);
        return runEncoder(argc, argv, mode == "--views");
    } catch (const WMException& e) {
        std::fprintf(stderr, "video_tool: %s\n", GetErrorText(e.GetCode()).c_str());
        return 1;
    }
}
