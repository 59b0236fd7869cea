#pragma once

#include "FrameLayout.h"
#include "JobCommands.h"

#include <QDialog>
#include <QPoint>
#include <QPointer>
#include <QRegion>
#include <QStringList>
#include <map>
#include <span>
#include <utility>
#include <vector>

class CImageButton;
class CHelpViewer;
class CSplashThread;
class QMenu;
struct JobContext;

// The launcher: the program's skinned main window, from which every job starts. Two
// panels (audio and video) of picture buttons sit on a shaped background picture; the
// window is moved by dragging any point that is not a button.
class CLauncherDlg : public QDialog {
    Q_OBJECT
public:
    enum class Panel { Audio, Video };
    using ImageKind = cld::ImageKind;
    // One button of the launcher (control id, caption, panel, place, images, tooltip).
    using ButtonSpec = cld::LauncherButton;
    static std::span<const ButtonSpec> buttonTable();

    static constexpr int kDialogId = cld::IDD_LAUNCHER;
    static constexpr int kWidth = cld::kLauncherWidth;
    static constexpr int kHeight = cld::kLauncherHeight;
    static constexpr int kAboutCommand = cld::IDM_ABOUTBOX;

    struct Context {
        QString helpFolder; // the folder that holds "cld.chm"
        JobCommands commands;
        // What every job command is handed; not owned. A launcher without one runs no job.
        JobContext* jobContext = nullptr;
        CSplashThread* splash = nullptr; // closed once the launcher is ready; not owned
    };

    explicit CLauncherDlg(Context context, QWidget* parent = nullptr);
    ~CLauncherDlg() override;

    CImageButton* button(int id) const;
    Panel panel() const { return m_panel; }
    void showAudioPanel();
    void showVideoPanel();
    QPoint centredCorner() const { return m_corner; }
    QMenu* systemMenu() const { return m_systemMenu; }

    // Runs a job's command as its button does, with the files it is to start from (the
    // command line's); a job without a command says it is not available.
    void openJob(int controlId, const QStringList& files);
    void openAbout();
    void openHelp();
    CHelpViewer* helpViewer() const;
    // Handles a system-menu command; true when it was the launcher's own.
    bool systemCommand(int command);

    // The top-left corner that centres the launcher on a screen of the given size.
    static QPoint cornerFor(QSize screen);
    // Where the launcher goes on a screen: centred on the whole screen, then moved into
    // the area that panels and docks leave free. A window larger than that area keeps
    // its top-left part (title area, Help and Options) on the screen.
    static QPoint placeOnScreen(QSize screen, QRect available);
    // The window region from a shape mask: every pixel that is not black.
    static QRegion regionFromMask(const QImage& mask);

    // A picture of the launcher for a screen of the given device pixel ratio: the one drawn
    // with twice the pixels when the ratio is above 1 and the resources have it (it then
    // carries that ratio, so it is shown at its place's size), else the ordinary one.
    static QImage picture(ImageKind kind, int id, qreal devicePixelRatio);
    // A text as the user reads it: a resource text without its mnemonic markers ("&About"
    // reads "About", "&&" reads "&").
    static QString plainText(const QString& text);
    // A button's caption in the current language, as its picture shows it.
    static QString caption(int id);
    // The button an arrow key moves to from `from`: the nearest one whose centre lies in
    // that direction, nearness along the key's axis counting less than a sideways offset.
    // -1 when there is none. `candidates` holds control ids and places.
    static int neighbour(const std::vector<std::pair<int, QRect>>& candidates, QRect from,
                         Qt::Key key);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void createButtons();
    void skin(CImageButton* b, ImageKind kind, int hover, int normal);
    QImage picture(ImageKind kind, int id) const;
    // Tooltip and what a screen reader says of a button; a job that cannot run says why.
    void describe(CImageButton* b, const ButtonSpec& entry);
    void moveFocus(Qt::Key key);
    void runCommand(int id);

    Context m_context;
    QImage m_background;
    std::map<int, CImageButton*> m_buttons;
    Panel m_panel = Panel::Audio;
    QPoint m_corner;
    QMenu* m_systemMenu = nullptr;
    QPointer<CHelpViewer> m_help;
    QPoint m_dragOffset;
    bool m_dragging = false;
};
