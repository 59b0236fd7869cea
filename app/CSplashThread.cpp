#include "CSplashThread.h"

#include "AppResources.h"
#include "ResourceIds.h"

#include <QCloseEvent>
#include <QDir>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

CSplashWnd::CSplashWnd(const QImage& image, const QImage& logo)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_image(image), m_logo(logo) {
    setObjectName(QStringLiteral("splash"));
    setAttribute(Qt::WA_DeleteOnClose);
    setCursor(Qt::ArrowCursor);
    m_size = m_image.isNull() ? QSize(CSplashThread::kDefaultSide, CSplashThread::kDefaultSide)
                              : m_image.deviceIndependentSize().toSize();
    setFixedSize(m_size);
    m_logoPos = QPoint(m_size.width() - m_logo.width(), m_size.height() - m_logo.height());
    setFocusPolicy(Qt::StrongFocus);
    // Centred on the screen.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect g = screen->geometry();
        move(g.x() + (g.width() - m_size.width()) / 2, g.y() + (g.height() - m_size.height()) / 2);
    }
}

void CSplashWnd::paintEvent(QPaintEvent*) {
    // Without a main picture nothing is drawn, not even the logo.
    if (m_image.isNull())
        return;
    QPainter p(this);
    p.drawImage(0, 0, m_image);
    if (!m_logo.isNull())
        p.drawImage(logoDrawPosition(), m_logo);
}

void CSplashWnd::closeEvent(QCloseEvent* event) {
    if (m_mayClose)
        event->accept();
    else
        event->ignore();
}

void CSplashWnd::dismiss() {
    m_mayClose = true;
    close();
}

void CSplashWnd::changeEvent(QEvent* event) {
    // Clicking another window takes the focus away: the splash goes.
    if (event->type() == QEvent::ActivationChange && !isActiveWindow() && isVisible())
        dismiss();
    QWidget::changeEvent(event);
}

void CSplashWnd::focusOutEvent(QFocusEvent* event) {
    if (event->reason() == Qt::ActiveWindowFocusReason)
        dismiss();
    QWidget::focusOutEvent(event);
}

void CSplashWnd::showEvent(QShowEvent* event) {
    raise();
    QWidget::showEvent(event);
}

CSplashThread::CSplashThread(QString programFolder) : m_programFolder(std::move(programFolder)) {}

CSplashThread::~CSplashThread() {
    if (CSplashWnd* w = m_window.data()) {
        w->allowClose();
        delete w;
    }
}

bool CSplashThread::isRunning() const {
    const CSplashWnd* w = m_window.data();
    return w && w->isVisible();
}

void CSplashThread::SetImage(const QString& type, int id) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    SetImage(type, id, screen ? screen->devicePixelRatio() : 1.0);
}

void CSplashThread::SetImage(const QString& type, int id, qreal devicePixelRatio) {
    const ResourceSource* source = AppResources::source();
    m_image = QImage();
    if (!source)
        return;
    // A high-density screen gets the picture drawn with twice the pixels, at the same
    // place and size.
    if (devicePixelRatio > 1.0) {
        QImage sharp = source->image(type + QString::fromLatin1(cld::kDoubleResolutionSuffix), id);
        if (!sharp.isNull()) {
            sharp.setDevicePixelRatio(2.0);
            m_image = sharp;
            return;
        }
    }
    m_image = source->image(type, id);
}

QImage CSplashThread::prepareLogo(const QImage& logo, QSize window) {
    if (logo.isNull() || logo.width() > window.width() / 4 || logo.height() > window.height() / 3)
        return {};
    QImage out = logo.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const QRgb px = line[x];
            line[x] = qRgba(qRed(px), qGreen(px), qBlue(px), qAlpha(px) * 50 / 100);
        }
    }
    return out;
}

bool CSplashThread::Start() {
    if (m_window)
        return true;
    const QSize size = m_image.isNull() ? QSize(kDefaultSide, kDefaultSide) : m_image.size();
    QImage logo(QDir(m_programFolder).filePath(QStringLiteral("oem.png")));
    logo = prepareLogo(logo, size);
    auto* w = new CSplashWnd(m_image, logo);
    m_window = w;
    w->show();
    return w->isVisible();
}

void CSplashThread::Close() {
    if (CSplashWnd* w = m_window.data()) {
        w->allowClose();
        w->close();
    }
}
