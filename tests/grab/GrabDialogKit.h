#pragma once

#include "AppTestKit.h"
#include "CdCacheDatabase.h"
#include "ControlTag.h"
#include "GenreList.h"
#include "GrabFixture.h"
#include "JobContext.h"
#include "PickerService.h"
#include "SettingsRecord.h"
#include "WaitService.h"

#include <QApplication>
#include <QTimer>
#include <functional>
#include <memory>

namespace cldtest {

// Waits that pass a little real time (so the ripper's worker moves on) and run a hook
// first, which tests use to act while a dialog waits.
class HookedWait : public WaitService {
public:
    explicit HookedWait(std::function<void(int)>* hook) : m_hook(hook) {}
    void waitAndPump(int milliseconds) override;
    void pump() override;

private:
    std::function<void(int)>* m_hook;
};

// Answers every folder question with a prepared folder and remembers the title asked.
class FolderPicker : public PickerService {
public:
    FolderPicker(QString* answer, QString* title) : m_answer(answer), m_title(title) {}
    QString pickFolder(QWidget*, const QString& title, const QString&) override {
        *m_title = title;
        return *m_answer;
    }
    QString openFile(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
    QStringList openFiles(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
    QString saveFile(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }

private:
    QString* m_answer;
    QString* m_title;
};

// A job context of its own for every test: a fresh registry, an own cache data source,
// the program's strings, recorded messages, prepared folder answers, quick waits and the
// ripper library on virtual drives.
class GrabDialogTest : public ::testing::Test {
protected:
    GrabDialogTest();
    ~GrabDialogTest() override;

    // Virtual drives with these discs and the ripper's grab object on them.
    void startDrives(const std::vector<vdrivekit::DiscSpec>& discs);
    // Opens the CD information cache and hands it to the job context.
    void openCache();
    // Runs `action` on the active modal dialog (from the event loop) once `ready` says so.
    void whenModal(std::function<bool(QWidget*)> ready, std::function<void(QWidget*)> action);
    const std::vector<Message>& messages() const { return m_messages.messages(); }
    std::vector<int> messageIds() const;

    std::vector<std::uint8_t> imageBytes(long first, long last, int disc = 0) const;
    struct Range {
        long first;
        long last;
    };
    std::vector<Range> trackRanges();
    DriveParams driveParams();

    TempDir m_dir;
    ScopedEnv m_registry;
    ScopedEnv m_home;
    ScopedEnv m_odbcIni;
    ProgramResourcesScope m_resources;
    MessageScope m_messages;
    SettingsRecord m_settings;
    GenreList m_genres;
    JobContext m_context{m_settings, m_genres};
    CdCacheDatabase m_cache;
    std::unique_ptr<vdrivekit::VirtualDrives> m_drives;
    CDRipObject* m_rip = nullptr;
    CDDAObject* m_cdda = nullptr;
    QString m_folderAnswer;
    QString m_folderTitle;
    std::function<void(int)> m_waitHook;
    std::vector<std::unique_ptr<QTimer>> m_timers;
    static inline int s_count = 0;
};

} // namespace cldtest
