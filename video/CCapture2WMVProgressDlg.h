#pragma once

#include "CVideoProgressDlg.h"
#include "ResourceIds.h"

#include <QPointer>
#include <cstdint>
#include <string>

struct JobContext;

// Records the chosen devices or the screen (dialog 172) until "&Stop" is pressed or the
// encoder stops by itself, showing the elapsed time and the output size. A screen
// recording minimises the program and shows no views. The run starts by itself once the
// dialog is shown.
class CCapture2WMVProgressDlg : public CVideoProgressDlg {
    Q_OBJECT

public:
    static constexpr int kDialogId = cld::IDD_CAPTURE2WMV_PROGRESS;

    // `mainWindow` is the launcher, minimised during a screen recording.
    CCapture2WMVProgressDlg(JobContext& context, QWidget* mainWindow);

protected:
    void prepareRun() override;
    void addSources(WmSourceGroup& group) override;
    void runStarted() override;
    void runEnded() override;
    bool showsViews() const override { return !m_screen; }
    // A recording that could not be written further was kept up to then, and is told so
    // with the system's reason.
    int writeFailureText(uint32_t code) const override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::string m_audio;
    std::string m_video;
    bool m_screen = false;
    QPointer<QWidget> m_mainWindow;
};
