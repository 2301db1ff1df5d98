// Drawing helpers shared by the panel picture and the button glyphs.
#pragma once

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QRectF>
#include <QString>

namespace pulsedesk::tools {

// Text centred (or as aligned) in box.
void DrawText(QPainter& painter, const QRectF& box, const QString& text, const QFont& font,
              const QColor& colour, Qt::Alignment alignment = Qt::AlignCenter);

// A vertical gradient between two colours over box.
QBrush VerticalGradient(const QRectF& box, const QColor& top, const QColor& bottom);

// Maps a 20 x 20 design box onto the middle of area, scaled by `scale`.
void EnterIconBox(QPainter& painter, const QRectF& area, qreal scale = 1.0);

}  // namespace pulsedesk::tools
