#pragma once

#include <QLabel>
#include <QUrl>

// A text link that opens its address in the desktop's web browser.
class CHyperLink : public QLabel {
    Q_OBJECT
public:
    explicit CHyperLink(QWidget* parent = nullptr);
    CHyperLink(const QString& text, const QUrl& url, QWidget* parent = nullptr);

    void setUrl(const QUrl& url);
    QUrl url() const { return m_url; }
    bool visited() const { return m_visited; }

    // Opens the address; false when it is not a valid web or mail address or the desktop
    // could not open it.
    bool open();

signals:
    void opened(const QUrl& url);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void refreshLook();

    QUrl m_url;
    bool m_visited = false;
};
