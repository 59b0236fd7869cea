#pragma once

#include <QDialog>

class QGridLayout;
class QLabel;
class QPushButton;

// What the MP3 and WMA recorder dialogs share: their labelled value rows and command
// buttons, the disk space figures, Exit on the close box and Escape, and the launcher
// going down and coming back with the dialog. A dialog keeps its ids, texts and engine.
class CRecorderProgressDlg : public QDialog {
    Q_OBJECT
public:
    // Ends the recording and closes the dialog.
    virtual void onExit() = 0;
    // The close box and Escape end the recording like Exit.
    void reject() override;

protected:
    // `launcher` goes down and comes back with this dialog.
    CRecorderProgressDlg(int dialogId, QWidget* launcher);

    // An empty value label with id `id`; `selectable` lets the mouse select its text.
    QLabel* valueLabel(int id, bool selectable);
    // A command button that is never the default.
    QPushButton* commandButton(int id, const char* english);
    // Adds `value` to `grid` in row `row` (then the next row) behind its caption.
    void addRow(QGridLayout* grid, int& row, int id, const char* caption, QLabel* value);
    // The total and free space of the recording folder's disk.
    static void showDiskSpace(QLabel* total, QLabel* free);

    void changeEvent(QEvent* event) override;

    const int m_dialogId;
    QWidget* m_launcher;
};
