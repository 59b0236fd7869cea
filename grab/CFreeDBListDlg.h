#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <memory>

class CHyperLink;
class QLabel;
class QPushButton;
class QTreeWidget;
class SettingsRecord;

namespace cld {
class FreeDBLookup;
}

// What the FreeDB query and server-list dialogs share: a list with a caption, the FreeDB
// link, the status line that names the server while a command runs, OK and Cancel. The
// command runs once the window is up; while it runs, Cancel ends it and the dialog closes
// once it has ended.
class CFreeDBListDlg : public QDialog {
    Q_OBJECT
public:
    // The texts and ids that tell one list from the other.
    struct Look {
        int dialogId = 0;
        int listId = 0;
        int statusId = 0;
        QStringList headers;
        const char* caption = ""; // over the list
        int width = 0;
        // The link is made before the status line (it then comes first in the tab order).
        bool linkFirst = false;
    };

    ~CFreeDBListDlg() override;

    // True while a command runs.
    bool busy() const { return m_busy; }

public slots:
    void reject() override;

protected:
    CFreeDBListDlg(const SettingsRecord& settings, QWidget* parent, const Look& look);

    void showEvent(QShowEvent* event) override;
    // Runs once the window is up, once.
    virtual void startCommand() = 0;

    // Disables the list and OK and names `server` in the status line while busy.
    void setBusy(bool busy, const QString& server = QString());
    // The selected row, or -1.
    int selectedRow() const;
    bool cancelRequested() const { return m_cancelRequested; }
    // The control's text through the resources.
    QString text(int control, const char* english) const;

    std::unique_ptr<cld::FreeDBLookup> m_lookup;
    QTreeWidget* m_list = nullptr;
    CHyperLink* m_link = nullptr;

private:
    const int m_dialogId;
    QLabel* m_status = nullptr;
    QPushButton* m_ok = nullptr;
    bool m_started = false;
    bool m_busy = false;
    bool m_cancelRequested = false;
};
