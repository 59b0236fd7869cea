#include "CLauncherDlg.h"

#include "AppResources.h"
#include "CAboutDlg.h"
#include "CHelpViewer.h"
#include "CImageButton.h"
#include "CSplashThread.h"
#include "HelpBundle.h"
#include "MessageService.h"
#include "StringTable.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <array>

namespace {

using Kind = CLauncherDlg::ImageKind;
constexpr int kAlways = 0;
constexpr int kAudio = 1;
constexpr int kVideo = 2;

constexpr std::array<CLauncherDlg::ButtonSpec, 19> kButtons{{
    {1, "OK", kAlways, 690, 410, 70, 55, Kind::Bitmap, 131, 0, 102},
    {1000, "", kAlways, 760, 10, 23, 22, Kind::Bitmap, 133, 132, 102},
    {1002, "", kAlways, 735, 10, 23, 22, Kind::Bitmap, 134, 135, 103},
    {1061, "", kAlways, 705, 8, 26, 26, Kind::Png, 125, 126, 101},
    {1004, "Video", kAlways, 19, 105, 164, 131, Kind::None, 0, 0, 104},
    {1003, "Audio", kAlways, 12, 242, 132, 105, Kind::None, 0, 0, 105},
    {57670, "&Help", kAlways, 12, 428, 47, 51, Kind::Bitmap, 141, 140, 106},
    {57671, "&Options", kAlways, 32, 352, 68, 73, Kind::Png, 127, 128, 217},
    {1005, "CD-Audio to WAV", kAudio, 234, 164, 148, 92, Kind::Bitmap, 142, 143, 107},
    {1015, "CD-Audio to WMA", kAudio, 393, 166, 148, 92, Kind::Bitmap, 155, 156, 150},
    {1016, "CD-Audio to MP3", kAudio, 547, 163, 145, 89, Kind::Bitmap, 161, 160, 158},
    {1006, "Line-In/MIC to WMA", kAudio, 200, 250, 157, 95, Kind::Png, 108, 107, 161},
    {1007, "Line-In/MIC to MP3", kAudio, 359, 250, 157, 95, Kind::Png, 111, 110, 170},
    {1008, "Folder/File to WMA", kAudio, 520, 256, 161, 93, Kind::Png, 114, 115, 172},
    {1009, "Folder/File to MP3", kAudio, 175, 348, 161, 93, Kind::Png, 112, 113, 173},
    {1010, "WMA to .WAV", kAudio, 330, 348, 162, 88, Kind::Png, 119, 120, 186},
    {1011, "MP3 to .WAV", kAudio, 500, 352, 158, 85, Kind::Png, 117, 118, 187},
    {1012, "AVI/MPG to WMV", kVideo, 280, 210, 160, 159, Kind::Png, 121, 122, 203},
    {1013, "AVI/MPG to WMV", kVideo, 470, 219, 151, 150, Kind::Png, 123, 124, 206},
}};

const QColor kTransparent(0xFF, 0x00, 0xFF);

bool isJob(int id) {
    return id >= 1005 && id <= 1016;
}

} // namespace

std::span<const CLauncherDlg::ButtonSpec> CLauncherDlg::buttonTable() {
    return kButtons;
}

QPoint CLauncherDlg::cornerFor(QSize screen) {
    return {screen.width() / 2 - 403, screen.height() / 2 - 248};
}

QRegion CLauncherDlg::regionFromMask(const QImage& mask) {
    if (mask.isNull())
        return {};
    const QImage img = mask.convertToFormat(QImage::Format_RGB32);
    QRegion region;
    for (int y = 0; y < img.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        QRegion row;
        int x = 0;
        while (x < img.width()) {
            while (x < img.width() && (line[x] & 0xFFFFFFu) == 0)
                ++x;
            const int start = x;
            while (x < img.width() && (line[x] & 0xFFFFFFu) != 0)
                ++x;
            if (x > start)
                row += QRect(start, y, x - start, 1);
        }
        region += row;
    }
    return region;
}

CLauncherDlg::CLauncherDlg(Context context, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint), m_context(std::move(context)) {
    setObjectName(QString::number(kDialogId));
    setProperty("cld_id", kDialogId);

    // 1. The system menu with the About item after a separator.
    m_systemMenu = new QMenu(this);
    m_systemMenu->setObjectName(QStringLiteral("systemmenu"));
    m_systemMenu->addAction(QStringLiteral("Mi&nimize"), this, [this] { showMinimized(); });
    m_systemMenu->addAction(QStringLiteral("&Close"), this, [this] { close(); });
    const QString about = AppResources::string(101);
    if (!about.isEmpty()) {
        m_systemMenu->addSeparator();
        QAction* item =
            m_systemMenu->addAction(about, this, [this] { systemCommand(kAboutCommand); });
        item->setData(kAboutCommand);
    }

    // 2. Title and icon.
    setWindowTitle(AppResources::caption(kDialogId));
    setWindowIcon(AppResources::icon(128));

    // 3. Centred on the screen at the fixed size.
    QSize screen(1024, 768);
    if (const QScreen* s = QGuiApplication::primaryScreen())
        screen = s->geometry().size();
    m_corner = cornerFor(screen);
    setFixedSize(kWidth, kHeight);
    move(m_corner);

    // 4. The window's shape.
    const QRegion shape = regionFromMask(AppResources::bitmap(129));
    if (!shape.isEmpty())
        setMask(shape);
    m_background = AppResources::bitmap(130);

    // 5, 6. Buttons, then the audio panel.
    createButtons();
    showAudioPanel();

    // 7. The splash goes; the launcher comes to the front.
    if (m_context.splash)
        m_context.splash->Close();
}

CLauncherDlg::~CLauncherDlg() {
    if (m_help)
        delete m_help.data();
}

void CLauncherDlg::skin(CImageButton* b, ImageKind kind, int hover, int normal) {
    switch (kind) {
    case ImageKind::Bitmap:
        b->setBitmaps(AppResources::bitmap(hover), normal ? AppResources::bitmap(normal) : QImage(),
                      kTransparent);
        break;
    case ImageKind::Png:
        b->setImages(AppResources::png(hover), normal ? AppResources::png(normal) : QImage());
        break;
    case ImageKind::None:
        break;
    }
}

void CLauncherDlg::createButtons() {
    for (const ButtonSpec& entry : kButtons) {
        auto* b = new CImageButton(this);
        b->setObjectName(QString::number(entry.id));
        b->setProperty("cld_id", entry.id);
        b->setText(QString::fromLatin1(entry.caption));
        b->setGeometry(entry.x, entry.y, entry.width, entry.height);
        b->setToolTip(AppResources::string(entry.tooltip));
        skin(b, entry.kind, entry.hoverImage, entry.normalImage);
        m_buttons[entry.id] = b;
        const int id = entry.id;
        connect(b, &QAbstractButton::clicked, this, [this, id] { runCommand(id); });
        if (isJob(id) || id == 57671)
            b->setEnabled(m_context.jobContext && m_context.commands.has(id));
    }
}

CHelpViewer* CLauncherDlg::helpViewer() const {
    return m_help.data();
}

CImageButton* CLauncherDlg::button(int id) const {
    const auto it = m_buttons.find(id);
    return it == m_buttons.end() ? nullptr : it->second;
}

void CLauncherDlg::showAudioPanel() {
    for (const ButtonSpec& entry : kButtons) {
        if (entry.panel == kVideo)
            button(entry.id)->hide();
        else if (entry.panel == kAudio) {
            skin(button(entry.id), entry.kind, entry.hoverImage, entry.normalImage);
            button(entry.id)->setToolTip(AppResources::string(entry.tooltip));
            button(entry.id)->show();
        }
    }
    // The audio selector looks pressed; the video selector lights up under the pointer.
    skin(button(1003), ImageKind::Png, 130, 130);
    skin(button(1004), ImageKind::Png, 131, 132);
    m_panel = Panel::Audio;
    update();
}

void CLauncherDlg::showVideoPanel() {
    for (const ButtonSpec& entry : kButtons) {
        if (entry.panel == kAudio)
            button(entry.id)->hide();
        else if (entry.panel == kVideo)
            button(entry.id)->show();
    }
    skin(button(1003), ImageKind::Png, 130, 129);
    skin(button(1004), ImageKind::Png, 131, 131);
    m_panel = Panel::Video;
    update();
}

void CLauncherDlg::runCommand(int id) {
    switch (id) {
    case 1:
        accept();
        return;
    case 1000:
        // Posted, so the click finishes before the window goes.
        QTimer::singleShot(0, this, [this] { close(); });
        return;
    case 1002:
        showMinimized();
        return;
    case 1061:
        openAbout();
        return;
    case 1003:
        showAudioPanel();
        return;
    case 1004:
        showVideoPanel();
        return;
    case 57670:
        openHelp();
        return;
    default:
        break;
    }
    const JobCommands::Command* command = m_context.commands.find(id);
    if (command && m_context.jobContext)
        (*command)(*m_context.jobContext, this);
    else
        MessageService::message(cld::IDS_JOB_UNAVAILABLE, MessageIcon::Information,
                                MessageButtons::Ok, this);
}

bool CLauncherDlg::systemCommand(int command) {
    if (command >= 16 && command <= 31) {
        openAbout();
        return true;
    }
    return false;
}

void CLauncherDlg::openAbout() {
    CAboutDlg about(this);
    about.exec();
}

void CLauncherDlg::openHelp() {
    QString folder = m_context.helpFolder;
    if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    const QString file = folder + QStringLiteral("cld.chm");
    if (!QFileInfo::exists(file)) {
        MessageService::message(cld::IDS_HELP_MISSING, MessageIcon::Error, MessageButtons::Ok, this,
                                QDir::toNativeSeparators(file));
        return;
    }
    HelpBundle bundle;
    if (!bundle.load(file.toStdString())) {
        MessageService::message(cld::IDS_HELP_BROKEN, MessageIcon::Error, MessageButtons::Ok, this,
                                QDir::toNativeSeparators(file));
        return;
    }
    if (m_help)
        delete m_help.data();
    m_help = new CHelpViewer(std::move(bundle), this);
    m_help->show();
    m_help->raise();
}

void CLauncherDlg::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (!m_background.isNull())
        p.drawImage(QRect(0, 0, width(), height()), m_background);
    else
        p.fillRect(rect(), palette().window());
}

void CLauncherDlg::mousePressEvent(QMouseEvent* event) {
    // Any point of the surface itself moves the window, as a title bar would.
    if (event->button() == Qt::LeftButton) {
        if (windowHandle() && windowHandle()->startSystemMove()) {
            event->accept();
            return;
        }
        m_dragging = true;
        m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
        event->accept();
        return;
    }
    QDialog::mousePressEvent(event);
}

void CLauncherDlg::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragging && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - m_dragOffset);
        event->accept();
        return;
    }
    QDialog::mouseMoveEvent(event);
}

void CLauncherDlg::mouseReleaseEvent(QMouseEvent* event) {
    m_dragging = false;
    QDialog::mouseReleaseEvent(event);
}

void CLauncherDlg::contextMenuEvent(QContextMenuEvent* event) {
    m_systemMenu->popup(event->globalPos());
}

void CLauncherDlg::keyPressEvent(QKeyEvent* event) {
    // Alt+Space opens the window menu, as on a framed window.
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::AltModifier) {
        m_systemMenu->popup(mapToGlobal(QPoint(8, 8)));
        return;
    }
    QDialog::keyPressEvent(event);
}
