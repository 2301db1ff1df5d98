// IndicatorImage: a plain image control that holds a bitmap of its own size; the indicator
// operations paint into the bitmap and the widget shows it unscaled.
#pragma once

#include <QImage>
#include <QWidget>

namespace pulsedesk::display {

class IndicatorImage : public QWidget {
    Q_OBJECT

  public:
    explicit IndicatorImage(QWidget* parent = nullptr);

    // The bitmap, resized to the widget (and cleared to black) when the widget's size changed.
    QImage& Bitmap();
    const QImage& Bitmap() const { return bitmap_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QImage bitmap_;
};

}  // namespace pulsedesk::display
