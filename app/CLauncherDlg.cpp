#include "CLauncherDlg.h"

#include "AppResources.h"
#include "CAboutDlg.h"
#include "CHelpViewer.h"
#include "CImageButton.h"
#include "CLauncherButton.h"
#include "CSplashThread.h"
#include "HelpBundle.h"
#include "JobContext.h"
#include "MessageService.h"
#include "StringIds.h"
#include "StringTable.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <array>
#include <cmath>

namespace {

const QColor kTransparent(0xFF, 0x00, 0xFF);
// The skin's stage and its text: what shows where a picture is missing.
const QColor kStage(0x16, 0x1c, 0x26);
const QColor kSkinText(0xdc, 0xe4, 0xee);
const QColor kSkinTextDisabled(0x8a, 0x96, 0xa6);

// The order in which Tab walks the buttons: the panel selectors, the jobs, the frame's own.
constexpr std::array kFocusOrder{
    cld::IDC_VIDEO_PANEL, cld::IDC_AUDIO_PANEL,
    // Audio jobs row by row, then the video jobs (only one panel's are shown at a time).
    cld::IDC_CD2WAV, cld::IDC_CD2WMA, cld::IDC_CD2MP3, cld::IDC_MIC2WMA, cld::IDC_MIC2MP3,
    cld::IDC_FOLDER2WMA, cld::IDC_FOLDER2MP3, cld::IDC_WMA2WAV, cld::IDC_MP32WAV, cld::IDC_AVI2WMV,
    cld::IDC_CAPTURE2WMV,
    // The frame: the left wing, then the title area's controls, then Exit.
    cld::IDC_OPTIONS, cld::IDC_HELP, cld::IDC_ABOUT, cld::IDC_MINIMIZE_BOX, cld::IDC_CLOSE_BOX,
    cld::IDC_EXIT};
static_assert(kFocusOrder.size() == cld::kLauncherButtons.size());

bool isJob(int id) {
    return id >= cld::IDC_CD2WAV && id <= cld::IDC_CD2MP3;
}

} // namespace

std::span<const CLauncherDlg::ButtonSpec> CLauncherDlg::buttonTable() {
    return cld::kLauncherButtons;
}

QPoint CLauncherDlg::cornerFor(QSize screen) {
    // Half the window, rounded up, to the left of and above the screen's centre.
    return {screen.width() / 2 - (kWidth + 1) / 2, screen.height() / 2 - (kHeight + 1) / 2};
}

QPoint CLauncherDlg::placeOnScreen(QSize screen, QRect available) {
    QPoint corner = cornerFor(screen);
    if (available.isEmpty())
        return corner;
    // Right and bottom edges first, so that the left and top edges win when the window is
    // larger than the free area.
    corner.setX(std::min(corner.x(), available.x() + available.width() - kWidth));
    corner.setY(std::min(corner.y(), available.y() + available.height() - kHeight));
    corner.setX(std::max(corner.x(), available.x()));
    corner.setY(std::max(corner.y(), available.y()));
    return corner;
}

QString CLauncherDlg::plainText(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&')) {
            // "&&" stands for one "&"; a single "&" only marks the next letter.
            if (i + 1 < text.size() && text[i + 1] == QLatin1Char('&')) {
                out += QLatin1Char('&');
                ++i;
            }
            continue;
        }
        out += text[i];
    }
    return out;
}

int CLauncherDlg::neighbour(const std::vector<std::pair<int, QRect>>& candidates, QRect from,
                            Qt::Key key) {
    const QPointF origin = QRectF(from).center();
    int best = -1;
    double bestScore = 0;
    for (const auto& [id, place] : candidates) {
        if (place == from)
            continue;
        const QPointF d = QRectF(place).center() - origin;
        double along = 0;
        double across = 0;
        switch (key) {
        case Qt::Key_Left:
            along = -d.x();
            across = d.y();
            break;
        case Qt::Key_Right:
            along = d.x();
            across = d.y();
            break;
        case Qt::Key_Up:
            along = -d.y();
            across = d.x();
            break;
        case Qt::Key_Down:
            along = d.y();
            across = d.x();
            break;
        default:
            return -1;
        }
        // Only what lies ahead, within 60 degrees either side of the key's direction.
        if (along <= 0 || std::abs(across) > along * 1.75)
            continue;
        const double score = along + 2 * std::abs(across);
        if (best < 0 || score < bestScore) {
            best = id;
            bestScore = score;
        }
    }
    return best;
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
    const QString about = AppResources::string(cld::IDS_ABOUTBOX);
    if (!about.isEmpty()) {
        m_systemMenu->addSeparator();
        QAction* item =
            m_systemMenu->addAction(about, this, [this] { systemCommand(kAboutCommand); });
        item->setData(kAboutCommand);
    }

    // 2. Title and icon.
    setWindowTitle(AppResources::caption(kDialogId));
    setWindowIcon(AppResources::icon(cld::IDI_PROGRAM));

    // 3. Centred on the screen at the fixed size, kept inside the screen's free area.
    QSize screen(1024, 768);
    QRect available;
    if (const QScreen* s = QGuiApplication::primaryScreen()) {
        screen = s->geometry().size();
        available = s->availableGeometry();
    }
    m_corner = placeOnScreen(screen, available);
    setFixedSize(kWidth, kHeight);
    move(m_corner);

    // 4. The window's shape.
    const QRegion shape = regionFromMask(AppResources::bitmap(cld::IDB_LAUNCHER_MASK));
    if (!shape.isEmpty())
        setMask(shape);
    m_background = picture(ImageKind::Bitmap, cld::IDB_LAUNCHER_BACKGROUND);

    // 5, 6. Buttons, then the audio panel.
    createButtons();
    showAudioPanel();

    // Tab walks the buttons in reading order (see kFocusOrder).
    for (std::size_t i = 1; i < kFocusOrder.size(); ++i)
        setTabOrder(button(kFocusOrder[i - 1]), button(kFocusOrder[i]));
    setAccessibleName(windowTitle());

    // 7. The splash goes; the launcher comes to the front.
    if (m_context.splash)
        m_context.splash->Close();
}

CLauncherDlg::~CLauncherDlg() {
    if (m_help)
        delete m_help.data();
}

QImage CLauncherDlg::picture(ImageKind kind, int id, qreal devicePixelRatio) {
    if (kind == ImageKind::None || id == 0)
        return {};
    const char* type = kind == ImageKind::Bitmap ? cld::kBitmapType : cld::kPngType;
    if (devicePixelRatio > 1.0) {
        if (const ResourceSource* source = AppResources::source()) {
            QImage sharp = source->image(
                QString::fromLatin1(type) + QString::fromLatin1(cld::kDoubleResolutionSuffix), id);
            if (!sharp.isNull()) {
                sharp.setDevicePixelRatio(2.0);
                return sharp;
            }
        }
    }
    return kind == ImageKind::Bitmap ? AppResources::bitmap(id) : AppResources::png(id);
}

QImage CLauncherDlg::picture(ImageKind kind, int id) const {
    return picture(kind, id, devicePixelRatioF());
}

void CLauncherDlg::skin(CImageButton* b, ImageKind kind, int hover, int normal) {
    switch (kind) {
    case ImageKind::Bitmap:
        b->setBitmaps(picture(kind, hover), picture(kind, normal), kTransparent);
        break;
    case ImageKind::Png:
        b->setImages(picture(kind, hover), picture(kind, normal));
        break;
    case ImageKind::None:
        break;
    }
}

void CLauncherDlg::createButtons() {
    // Where a picture is missing the button draws its caption: light on the dark skin.
    QPalette skinPalette = palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        skinPalette.setColor(group, QPalette::ButtonText, kSkinText);
        skinPalette.setColor(group, QPalette::WindowText, kSkinText);
    }
    skinPalette.setColor(QPalette::Disabled, QPalette::ButtonText, kSkinTextDisabled);
    skinPalette.setColor(QPalette::Disabled, QPalette::WindowText, kSkinTextDisabled);
    for (const ButtonSpec& entry : cld::kLauncherButtons) {
        auto* b = new CLauncherButton(this);
        b->setObjectName(QString::number(entry.id));
        b->setProperty("cld_id", entry.id);
        b->setText(caption(entry.id));
        b->setGeometry(entry.x, entry.y, entry.width, entry.height);
        b->setPalette(skinPalette);
        skin(b, entry.kind, entry.hoverImage, entry.normalImage);
        m_buttons[entry.id] = b;
        const int id = entry.id;
        connect(b, &QAbstractButton::clicked, this, [this, id] { runCommand(id); });
        if (isJob(id) || id == cld::IDC_OPTIONS)
            b->setEnabled(m_context.jobContext && m_context.commands.has(id));
        describe(b, entry);
    }
}

QString CLauncherDlg::caption(int id) {
    const ButtonSpec* entry = cld::findLauncherButton(id);
    if (!entry)
        return {};
    // What the button's picture says: the template's caption, except where the template
    // has none or a wrong one (the capture tile's template repeats the conversion's).
    const char* english = entry->caption;
    switch (id) {
    case cld::IDC_EXIT:
        english = "Exit";
        break;
    case cld::IDC_CLOSE_BOX:
        english = "Close";
        break;
    case cld::IDC_MINIMIZE_BOX:
        english = "Minimize";
        break;
    case cld::IDC_ABOUT:
        english = "About Calderine";
        break;
    case cld::IDC_CAPTURE2WMV:
        english = "Capture to WMV";
        break;
    default:
        break;
    }
    return AppResources::controlText(kDialogId, id, QString::fromLatin1(english));
}

void CLauncherDlg::describe(CImageButton* b, const ButtonSpec& entry) {
    const QString tip = plainText(AppResources::string(entry.tooltip));
    // The name is the button's caption, as its picture shows it; the tooltip says more.
    QString name = plainText(caption(entry.id));
    if (name.isEmpty())
        name = tip.isEmpty() ? QString::number(entry.id) : tip;
    QString why;
    if (!b->isEnabled())
        why = plainText(AppResources::string(cld::IDS_JOB_UNAVAILABLE));
    b->setToolTip(why.isEmpty() ? tip : tip + QStringLiteral("\n") + why);
    b->setAccessibleName(name);
    QString description = tip != name ? tip : QString();
    if (!why.isEmpty())
        description = description.isEmpty() ? why : description + QStringLiteral(" ") + why;
    b->setAccessibleDescription(description);
}

CHelpViewer* CLauncherDlg::helpViewer() const {
    return m_help.data();
}

CImageButton* CLauncherDlg::button(int id) const {
    const auto it = m_buttons.find(id);
    return it == m_buttons.end() ? nullptr : it->second;
}

void CLauncherDlg::showAudioPanel() {
    for (const ButtonSpec& entry : cld::kLauncherButtons) {
        if (entry.panel == cld::LauncherPanel::Video)
            button(entry.id)->hide();
        else if (entry.panel == cld::LauncherPanel::Audio) {
            skin(button(entry.id), entry.kind, entry.hoverImage, entry.normalImage);
            describe(button(entry.id), entry);
            button(entry.id)->show();
        }
    }
    // The audio selector looks pressed; the video selector lights up under the pointer.
    skin(button(cld::IDC_AUDIO_PANEL), ImageKind::Png, cld::IDPNG_AUDIO_PANEL_LIT,
         cld::IDPNG_AUDIO_PANEL_LIT);
    skin(button(cld::IDC_VIDEO_PANEL), ImageKind::Png, cld::IDPNG_VIDEO_PANEL_LIT,
         cld::IDPNG_VIDEO_PANEL);
    m_panel = Panel::Audio;
    update();
}

void CLauncherDlg::showVideoPanel() {
    for (const ButtonSpec& entry : cld::kLauncherButtons) {
        if (entry.panel == cld::LauncherPanel::Audio)
            button(entry.id)->hide();
        else if (entry.panel == cld::LauncherPanel::Video)
            button(entry.id)->show();
    }
    skin(button(cld::IDC_AUDIO_PANEL), ImageKind::Png, cld::IDPNG_AUDIO_PANEL_LIT,
         cld::IDPNG_AUDIO_PANEL);
    skin(button(cld::IDC_VIDEO_PANEL), ImageKind::Png, cld::IDPNG_VIDEO_PANEL_LIT,
         cld::IDPNG_VIDEO_PANEL_LIT);
    m_panel = Panel::Video;
    update();
}

void CLauncherDlg::runCommand(int id) {
    switch (id) {
    case cld::IDC_EXIT:
        accept();
        return;
    case cld::IDC_CLOSE_BOX:
        // Posted, so the click finishes before the window goes.
        QTimer::singleShot(0, this, [this] { close(); });
        return;
    case cld::IDC_MINIMIZE_BOX:
        showMinimized();
        return;
    case cld::IDC_ABOUT:
        openAbout();
        return;
    case cld::IDC_AUDIO_PANEL:
        showAudioPanel();
        return;
    case cld::IDC_VIDEO_PANEL:
        showVideoPanel();
        return;
    case cld::IDC_HELP:
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

void CLauncherDlg::openJob(int controlId, const QStringList& files) {
    if (m_context.jobContext)
        m_context.jobContext->initialFiles = files;
    runCommand(controlId);
    if (m_context.jobContext)
        m_context.jobContext->initialFiles.clear();
}

bool CLauncherDlg::systemCommand(int command) {
    if (command >= cld::IDM_ABOUTBOX && command <= cld::IDM_ABOUTBOX_LAST) {
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
        p.fillRect(rect(), kStage);
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
    if (event->matches(QKeySequence::HelpContents) || event->key() == Qt::Key_F1) {
        openHelp();
        return;
    }
    const auto modifiers = event->modifiers() & ~Qt::KeypadModifier;
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (modifiers == Qt::NoModifier) {
            moveFocus(static_cast<Qt::Key>(event->key()));
            return;
        }
        break;
    default:
        break;
    }
    QDialog::keyPressEvent(event);
}

void CLauncherDlg::moveFocus(Qt::Key key) {
    std::vector<std::pair<int, QRect>> reachable;
    for (const int id : kFocusOrder) {
        const CImageButton* b = button(id);
        if (b->isVisibleTo(this) && b->isEnabled())
            reachable.emplace_back(id, b->geometry());
    }
    QWidget* current = focusWidget();
    const int from = current ? current->property("cld_id").toInt() : 0;
    CImageButton* at = button(from);
    if (!at || !at->isVisibleTo(this)) {
        // Nothing of ours has the focus yet: the arrows start at the first button.
        if (!reachable.empty())
            button(reachable.front().first)->setFocus(Qt::TabFocusReason);
        return;
    }
    const int to = neighbour(reachable, at->geometry(), key);
    if (to >= 0)
        button(to)->setFocus(key == Qt::Key_Left || key == Qt::Key_Up ? Qt::BacktabFocusReason
                                                                      : Qt::TabFocusReason);
}
