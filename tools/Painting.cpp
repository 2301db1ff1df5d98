#include "tools/Painting.h"

#include <QLinearGradient>

namespace pulsedesk::tools {

void DrawText(QPainter& painter, const QRectF& box, const QString& text, const QFont& font,
              const QColor& colour, Qt::Alignment alignment) {
    painter.save();
    painter.setFont(font);
    painter.setPen(colour);
    painter.drawText(box, static_cast<int>(alignment), text);
    painter.restore();
}

QBrush VerticalGradient(const QRectF& box, const QColor& top, const QColor& bottom) {
    QLinearGradient gradient(box.topLeft(), box.bottomLeft());
    gradient.setColorAt(0, top);
    gradient.setColorAt(1, bottom);
    return QBrush(gradient);
}

void EnterIconBox(QPainter& painter, const QRectF& area, qreal scale) {
    constexpr qreal kDesignSize = 20;
    painter.translate(area.center());
    painter.scale(scale, scale);
    painter.translate(-kDesignSize / 2, -kDesignSize / 2);
}

}  // namespace pulsedesk::tools
