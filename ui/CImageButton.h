#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QImage>
#include <functional>

// Owner-drawn push button made of pictures: a normal image, and a hover image shown
// while the pointer is over the button. Bitmaps may carry a transparent colour (pixels
// of that colour are not drawn); PNG images bring their own alpha. Without any image the
// button draws its caption so that it stays usable.
class CImageButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit CImageButton(QWidget* parent = nullptr);

    // hover first, normal second, as the resources list them; a null normal image means
    // the hover image is shown always.
    void setImages(const QImage& hover, const QImage& normal);
    // The same for bitmaps with a transparent colour.
    void setBitmaps(const QImage& hover, const QImage& normal, QColor transparent);
    void setClickSound(const QString& wavFile) { m_sound = wavFile; }

    const QImage& hoverImage() const { return m_hover; }
    const QImage& normalImage() const { return m_normal; }
    bool isHovered() const { return m_hovered; }
    // The picture the button shows in its current state.
    const QImage& currentImage() const;

    // Replaces how click sounds are played (tests, or a desktop without a player).
    using SoundPlayer = std::function<void(const QString& wavFile)>;
    static void setSoundPlayer(SoundPlayer player);

    // Returns a copy of img where every pixel of colour `transparent` is fully clear.
    static QImage applyTransparentColour(const QImage& img, QColor transparent);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void nextCheckState() override;

private:
    void playSound() const;

    QImage m_hover;
    QImage m_normal;
    QString m_sound;
    bool m_hovered = false;
};
