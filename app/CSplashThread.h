#pragma once

#include <QImage>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>

// The splash window: the main picture with the optional OEM logo blended into its
// bottom-right corner. It refuses to close until it may: after the launcher asked it to,
// or once it has lost the focus.
class CSplashWnd : public QWidget {
    Q_OBJECT
public:
    CSplashWnd(const QImage& image, const QImage& logo);

    QSize windowSize() const { return m_size; }
    bool hasLogo() const { return !m_logo.isNull(); }
    const QImage& logo() const { return m_logo; }
    // Where the logo is drawn: its corner position moved one pixel up and left.
    QPoint logoDrawPosition() const { return m_logoPos - QPoint(1, 1); }
    bool mayClose() const { return m_mayClose; }
    void allowClose() { m_mayClose = true; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void dismiss();

    QImage m_image;
    QImage m_logo;
    QSize m_size;
    QPoint m_logoPos;
    bool m_mayClose = false;
};

// Shows the splash window while the program starts. Qt keeps every window on the
// user-interface thread, so the window lives there too; start-up keeps the user interface
// alive while it waits, so the splash behaves as if it ran on its own.
class CSplashThread : public QObject {
    Q_OBJECT
public:
    // programFolder is where "oem.png" is looked for.
    explicit CSplashThread(QString programFolder);
    ~CSplashThread() override;

    // Loads the main picture from the current resources; replaces an earlier one.
    void SetImage(const QString& type, int id);
    // The same for a screen of the given device pixel ratio: above 1 the picture drawn with
    // twice the pixels ("PNG@2X"), when the resources have it.
    void SetImage(const QString& type, int id, qreal devicePixelRatio);
    const QImage& image() const { return m_image; }
    // Creates and shows the window; false when it could not be created.
    bool Start();
    // Lets the window close and closes it; nothing when it is already gone.
    void Close();

    // True while the window is up (a closed window may linger until it is deleted).
    bool isRunning() const;
    CSplashWnd* window() const { return m_window.data(); }

    // The logo rule: a logo no wider than a quarter and no higher than a third of the
    // window is kept at half its transparency; anything else is dropped (null result).
    static QImage prepareLogo(const QImage& logo, QSize window);

    static constexpr int kDefaultSide = 300;

private:
    QString m_programFolder;
    QImage m_image;
    QPointer<CSplashWnd> m_window;
};
