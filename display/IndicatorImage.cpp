#include "display/IndicatorImage.h"

#include <QPainter>

namespace pulsedesk::display {

IndicatorImage::IndicatorImage(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QImage& IndicatorImage::Bitmap() {
    if (bitmap_.size() != size()) {
        bitmap_ = QImage(size(), QImage::Format_RGB32);
        bitmap_.fill(Qt::black);
    }
    return bitmap_;
}

void IndicatorImage::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, Bitmap());
}

}  // namespace pulsedesk::display
