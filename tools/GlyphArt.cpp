#include "tools/GlyphArt.h"

#include <QPainter>
#include <QPainterPath>
#include <functional>

#include "tools/Fonts.h"
#include "tools/Painting.h"
#include "tools/PanelLayout.h"

namespace pulsedesk::tools {
namespace {

enum class State { Up, Disabled, Down, Held };
constexpr State kStates[] = {State::Up, State::Disabled, State::Down, State::Held};

// Paints the button's sign in `ink` inside area.
using SignPainter = std::function<void(QPainter&, const QRectF& area, const QColor& ink)>;

struct ButtonArt {
    const char* file;
    QSize size;
    SignPainter sign;
    QColor accent;  // ink of the up and down pictures
};

const QColor kInk(0x1b, 0x20, 0x26);
const QColor kHeldInk(0x0c, 0x3b, 0x17);
const QColor kDisabledInk(0x74, 0x7b, 0x82);

void PaintFace(QPainter& painter, const QRectF& face, State state) {
    const QRectF body = face.adjusted(0.5, 0.5, -0.5, -0.5);
    QColor top, bottom, border(0x12, 0x15, 0x19);
    switch (state) {
        case State::Up:
            top = QColor(0xf3, 0xf5, 0xf7);
            bottom = QColor(0xbf, 0xc5, 0xcc);
            break;
        case State::Disabled:
            top = QColor(0xb4, 0xb9, 0xbe);
            bottom = QColor(0xa0, 0xa5, 0xab);
            border = QColor(0x45, 0x4b, 0x51);
            break;
        case State::Down:
            top = QColor(0xa9, 0xb0, 0xb7);
            bottom = QColor(0xdc, 0xe0, 0xe4);
            break;
        case State::Held:
            top = QColor(0x6f, 0xc0, 0x7f);
            bottom = QColor(0xb9, 0xea, 0xc2);
            break;
    }
    painter.setPen(QPen(border, 1));
    painter.setBrush(VerticalGradient(body, top, bottom));
    painter.drawRoundedRect(body, 3, 3);
    const bool raised = state == State::Up || state == State::Disabled;
    const QRectF inner = body.adjusted(1, 1, -1, -1);
    painter.setPen(QPen(raised ? QColor(255, 255, 255, 170) : QColor(0, 0, 0, 90), 1));
    painter.drawLine(inner.topLeft() + QPointF(2, 0), inner.topRight() - QPointF(2, 0));
    painter.setPen(QPen(raised ? QColor(0, 0, 0, 60) : QColor(255, 255, 255, 120), 1));
    painter.drawLine(inner.bottomLeft() + QPointF(2, 0), inner.bottomRight() - QPointF(2, 0));
}

// A disabled sign is etched: a light copy one pixel down and right under the grey one.
void PaintSign(QPainter& painter, const ButtonArt& art, const QRectF& face, State state) {
    const bool sunken = state == State::Down || state == State::Held;
    const QRectF area = face.translated(sunken ? 1 : 0, sunken ? 1 : 0);
    auto paint = [&](const QRectF& where, const QColor& ink) {
        painter.save();
        art.sign(painter, where, ink);
        painter.restore();
    };
    switch (state) {
        case State::Up:
        case State::Down:
            paint(area, art.accent);
            break;
        case State::Held:
            paint(area, kHeldInk);
            break;
        case State::Disabled:
            paint(area.translated(1, 1), QColor(255, 255, 255, 150));
            paint(area, kDisabledInk);
            break;
    }
}

QImage RenderStrip(const ButtonArt& art) {
    QImage strip(art.size.width() * 4, art.size.height(), QImage::Format_ARGB32);
    strip.fill(Qt::transparent);
    QPainter painter(&strip);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    for (int i = 0; i < 4; ++i) {
        const QRectF face(QPointF(i * art.size.width(), 0), art.size);
        PaintFace(painter, face, kStates[i]);
        PaintSign(painter, art, face, kStates[i]);
    }
    return strip;
}

SignPainter Lettering(const QString& text, int pixelSize) {
    return [text, pixelSize](QPainter& painter, const QRectF& area, const QColor& ink) {
        DrawText(painter, area, text, ArtworkFont(Face::NarrowBold, pixelSize), ink);
    };
}

void PaintTriangle(QPainter& painter, const QRectF& area, const QColor& ink, bool pointsLeft) {
    EnterIconBox(painter, area);
    painter.setPen(Qt::NoPen);
    painter.setBrush(ink);
    const qreal tip = pointsLeft ? 4 : 16;
    const qreal base = pointsLeft ? 15 : 5;
    painter.drawPolygon(QPolygonF({{tip, 10}, {base, 3.5}, {base, 16.5}}));
}

QPen IconPen(const QColor& ink, qreal width = 1.8) {
    return QPen(ink, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void PaintArrowIntoCircle(QPainter& painter, const QRectF& area, const QColor& ink) {
    EnterIconBox(painter, area);
    painter.setPen(IconPen(ink));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QPointF(13, 10), 6.5, 6.5);
    painter.drawLine(QPointF(-1, 10), QPointF(10, 10));
    painter.setPen(Qt::NoPen);
    painter.setBrush(ink);
    painter.drawPolygon(QPolygonF({{14, 10}, {8.5, 6}, {8.5, 14}}));
}

void PaintHourglass(QPainter& painter, const QRectF& area, const QColor& ink) {
    EnterIconBox(painter, area);
    painter.setPen(IconPen(ink, 2.2));
    painter.drawLine(QPointF(4, 1.5), QPointF(16, 1.5));
    painter.drawLine(QPointF(4, 18.5), QPointF(16, 18.5));
    QPainterPath glass;
    glass.moveTo(5.5, 2.5);
    glass.lineTo(14.5, 2.5);
    glass.cubicTo(14.5, 7, 11, 8.5, 11, 10);
    glass.cubicTo(11, 11.5, 14.5, 13, 14.5, 17.5);
    glass.lineTo(5.5, 17.5);
    glass.cubicTo(5.5, 13, 9, 11.5, 9, 10);
    glass.cubicTo(9, 8.5, 5.5, 7, 5.5, 2.5);
    painter.setPen(IconPen(ink, 1.4));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(glass);
    painter.setPen(Qt::NoPen);
    painter.setBrush(ink);
    painter.drawPolygon(QPolygonF({{7.5, 5}, {12.5, 5}, {10, 8.5}}));
    painter.drawPolygon(QPolygonF({{6.8, 17.5}, {13.2, 17.5}, {10, 13}}));
}

// An arc of a circle round (10, 10) from `start` degrees through `span`, ending in an arrowhead.
void PaintArcArrow(QPainter& painter, const QColor& ink, qreal start, qreal span) {
    const QRectF circle(3, 3, 14, 14);
    QPainterPath arc;
    arc.arcMoveTo(circle, start);
    arc.arcTo(circle, start, span);
    painter.setPen(IconPen(ink));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(arc);
    const QPointF end = arc.currentPosition();
    const qreal tangent = arc.angleAtPercent(1);
    painter.save();
    painter.translate(end);
    painter.rotate(-tangent);
    painter.setPen(Qt::NoPen);
    painter.setBrush(ink);
    painter.drawPolygon(QPolygonF({{3.5, 0}, {-2, -3.6}, {-2, 3.6}}));
    painter.restore();
}

void PaintCircularArrows(QPainter& painter, const QRectF& area, const QColor& ink) {
    EnterIconBox(painter, area);
    PaintArcArrow(painter, ink, 200, -130);
    PaintArcArrow(painter, ink, 20, -130);
}

void PaintStopwatch(QPainter& painter, const QRectF& area, const QColor& ink) {
    EnterIconBox(painter, area);
    painter.setPen(IconPen(ink));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QPointF(10, 11.5), 7, 7);
    painter.drawLine(QPointF(10, 2.5), QPointF(10, 4.5));
    painter.drawLine(QPointF(8, 1.5), QPointF(12, 1.5));
    painter.drawLine(QPointF(15.5, 4.5), QPointF(16.8, 3.2));
    painter.setPen(IconPen(ink, 1.5));
    painter.drawLine(QPointF(10, 11.5), QPointF(12.6, 7.2));
    painter.setPen(Qt::NoPen);
    painter.setBrush(ink);
    painter.drawEllipse(QPointF(10, 11.5), 1.4, 1.4);
}

void PaintWrench(QPainter& painter, const QRectF& area, const QColor& ink) {
    EnterIconBox(painter, area);
    painter.translate(10, 10);
    painter.rotate(45);
    QPainterPath head;
    head.addEllipse(QPointF(0, -5.5), 5.2, 5.2);
    QPainterPath handle;
    handle.addRoundedRect(QRectF(-1.9, -3, 3.8, 13.5), 1.9, 1.9);
    QPainterPath jaw;
    jaw.addRect(QRectF(-1.7, -12, 3.4, 6.8));
    painter.setPen(Qt::NoPen);
    painter.setBrush(ink);
    painter.drawPath(head.united(handle).subtracted(jaw));
}

std::vector<ButtonArt> ButtonArts() {
    using namespace std::placeholders;
    const QSize wide = layout::kWideButton;
    const QSize mode = layout::kModeButton;
    const QSize step = layout::kStepButton;
    return {
        {"new_record", wide, Lettering(QStringLiteral("СОЗДАТЬ НОВУЮ ЗАПИСЬ"), 14), kInk},
        {"new_study", wide, Lettering(QStringLiteral("НАЧАТЬ ИССЛЕДОВАНИЕ"), 14), kInk},
        {"mode0", mode, PaintArrowIntoCircle, kInk},
        {"mode1", mode, PaintHourglass, kInk},
        {"mode2", mode, PaintCircularArrows, kInk},
        {"mode3", mode, PaintStopwatch, kInk},
        {"step_left", step, std::bind(PaintTriangle, _1, _2, _3, true), kInk},
        {"step_right", step, std::bind(PaintTriangle, _1, _2, _3, false), kInk},
        {"exact", layout::kExactButton, Lettering(QStringLiteral("ТОЧНО"), 13), kInk},
        {"settings", step, PaintWrench, kInk},
        {"start", step, Lettering(QStringLiteral("ПУСК"), 14), QColor(0x0f, 0x6e, 0x28)},
        {"stop", step, Lettering(QStringLiteral("СТОП"), 14), QColor(0xa8, 0x1c, 0x18)},
    };
}

}  // namespace

std::vector<GlyphStrip> RenderGlyphStrips() {
    std::vector<GlyphStrip> strips;
    for (const ButtonArt& art : ButtonArts()) {
        strips.push_back({QString::fromLatin1(art.file), art.size, RenderStrip(art)});
    }
    return strips;
}

}  // namespace pulsedesk::tools
