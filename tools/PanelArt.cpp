#include "tools/PanelArt.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <cstdint>

#include "tools/Fonts.h"
#include "tools/Painting.h"
#include "tools/PanelLayout.h"

namespace pulsedesk::tools {
namespace {

namespace L = layout;

const QColor kPlateTop(0x45, 0x4c, 0x54);
const QColor kPlateBottom(0x2c, 0x32, 0x38);
const QColor kEngraveDark(0x17, 0x1a, 0x1e);
const QColor kEngraveLight(0x66, 0x6f, 0x78);
const QColor kCaption(0xe6, 0xe9, 0xec);
const QColor kAmber(0xf3, 0xb6, 0x3f);
const QColor kTitleText(0xf7, 0xf3, 0xe8);

constexpr int kTitleBandHeight = 42;
constexpr int kCaptionHeight = 14;

// Fine horizontal streaks of brushed metal, from a fixed pseudo-random sequence.
void PaintBrushedPlate(QPainter& painter) {
    painter.fillRect(L::kPanel, VerticalGradient(L::kPanel, kPlateTop, kPlateBottom));
    std::uint32_t seed = 12345;
    for (int y = 0; y < L::kPanel.height(); ++y) {
        seed = seed * 1103515245u + 12345u;
        const int shade = static_cast<int>((seed >> 16) % 9) - 4;
        const QColor streak =
            shade >= 0 ? QColor(255, 255, 255, shade * 3) : QColor(0, 0, 0, -shade * 4);
        painter.fillRect(QRect(0, y, L::kPanel.width(), 1), streak);
    }
}

void PaintScrew(QPainter& painter, QPointF centre, qreal slotAngle) {
    QRadialGradient metal(centre - QPointF(1.5, 1.5), 6);
    metal.setColorAt(0, QColor(0xe8, 0xea, 0xec));
    metal.setColorAt(1, QColor(0x70, 0x76, 0x7c));
    painter.setPen(QPen(kEngraveDark, 1));
    painter.setBrush(metal);
    painter.drawEllipse(centre, 5, 5);
    painter.save();
    painter.translate(centre);
    painter.rotate(slotAngle);
    painter.setPen(QPen(QColor(0x3a, 0x3f, 0x44), 1.4));
    painter.drawLine(QPointF(-3.5, 0), QPointF(3.5, 0));
    painter.restore();
}

void PaintScrews(QPainter& painter) {
    PaintScrew(painter, {9.5, 9.5}, 30);
    PaintScrew(painter, {590.5, 9.5}, 75);
    PaintScrew(painter, {9.5, 590.5}, 120);
    PaintScrew(painter, {590.5, 590.5}, 165);
}

// A yellow disc with the black trefoil of ionising radiation.
void PaintTrefoil(QPainter& painter, QPointF centre) {
    painter.save();
    painter.translate(centre);
    painter.setPen(QPen(kEngraveDark, 1.2));
    painter.setBrush(QColor(0xf5, 0xc5, 0x18));
    painter.drawEllipse(QPointF(0, 0), 16, 16);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x14, 0x14, 0x14));
    painter.drawEllipse(QPointF(0, 0), 2.6, 2.6);
    for (const qreal start : {60.0, 180.0, 300.0}) {
        QPainterPath blade;
        blade.arcMoveTo(QRectF(-13, -13, 26, 26), start);
        blade.arcTo(QRectF(-13, -13, 26, 26), start, 60);
        blade.arcTo(QRectF(-4.4, -4.4, 8.8, 8.8), start + 60, -60);
        blade.closeSubpath();
        painter.drawPath(blade);
    }
    painter.restore();
}

// Three electron orbits round a nucleus.
void PaintAtom(QPainter& painter, QPointF centre) {
    painter.save();
    painter.translate(centre);
    painter.setPen(QPen(kEngraveDark, 1.2));
    painter.setBrush(QColor(0x1d, 0x36, 0x4a));
    painter.drawEllipse(QPointF(0, 0), 16, 16);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(0x7f, 0xe3, 0xff), 1.3));
    for (const qreal angle : {0.0, 60.0, 120.0}) {
        painter.save();
        painter.rotate(angle);
        painter.drawEllipse(QPointF(0, 0), 12.5, 4.6);
        painter.restore();
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xff, 0x5a, 0x4a));
    painter.drawEllipse(QPointF(0, 0), 2.6, 2.6);
    painter.restore();
}

void PaintTitle(QPainter& painter) {
    const QRect band(0, 0, L::kPanel.width(), kTitleBandHeight);
    painter.fillRect(band,
                     VerticalGradient(band, QColor(0x22, 0x26, 0x2b), QColor(0x2d, 0x32, 0x38)));
    painter.fillRect(QRect(0, kTitleBandHeight, L::kPanel.width(), 2), kAmber);
    const QFont font = ArtworkFont(Face::SansBold, 19);
    const QString title = QStringLiteral("СТЕНД ИЗМЕРЕНИЯ α- И β-ИЗЛУЧЕНИЯ");
    DrawText(painter, band, title, font, kTitleText);
    const qreal half = QFontMetricsF(font).horizontalAdvance(title) / 2;
    const qreal middle = band.center().y() + 0.5;
    PaintTrefoil(painter, {300 - half - 32, middle});
    PaintAtom(painter, {300 + half + 32, middle});
}

// A window sunk into the plate around a control of the given place.
void PaintBezel(QPainter& painter, const QRect& place, int depth = 3) {
    const QRectF outer = QRectF(place).adjusted(-depth, -depth, depth, depth);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kEngraveLight);
    painter.drawRoundedRect(outer.adjusted(0, 0, 1, 1), 2.5, 2.5);
    painter.setBrush(QColor(0x0c, 0x0e, 0x10));
    painter.drawRoundedRect(outer, 2.5, 2.5);
    painter.fillRect(place, Qt::black);
}

// An engraved group frame with its title on a small plate over the top edge.
void PaintGroupFrame(QPainter& painter, const QRect& frame, const QString& title) {
    const QRectF box = QRectF(frame).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setBrush(QColor(255, 255, 255, 10));
    painter.setPen(QPen(kEngraveLight, 1));
    painter.drawRoundedRect(box.translated(1, 1), 6, 6);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(kEngraveDark, 1));
    painter.drawRoundedRect(box, 6, 6);

    const QFont font = ArtworkFont(Face::SansBold, 12);
    const qreal width = QFontMetricsF(font).horizontalAdvance(title) + 16;
    const QRectF tab(frame.left() + 12, frame.top() - 7, width, 15);
    painter.setPen(QPen(kEngraveLight, 1));
    painter.setBrush(QColor(0x1d, 0x21, 0x25));
    painter.drawRoundedRect(tab, 3, 3);
    DrawText(painter, tab, title, font, kAmber);
}

// A caption in the strip just above a control.
void PaintCaptionOver(QPainter& painter, const QRect& control, const QString& text, int gap = 2,
                      Qt::Alignment alignment = Qt::AlignCenter) {
    const QRect box(control.left(), control.top() - gap - kCaptionHeight, control.width(),
                    kCaptionHeight);
    DrawText(painter, box, text, ArtworkFont(Face::NarrowBold, 12), kCaption,
             alignment | Qt::AlignVCenter);
}

void PaintModeGroup(QPainter& painter) {
    PaintGroupFrame(painter, L::kModeFrame, QStringLiteral("Режим работы"));
    PaintBezel(painter, L::kLabel1);
    const QRect periodic = L::kPeriodicModeButton;
    // The caption names the periodic mode; a bracket under it spans that button.
    const QRect captionBox(periodic.center().x() - 70, 166, 141, 12);
    DrawText(painter, captionBox, QStringLiteral("ПЕРИОДИЧЕСКИЙ АВТОЗАПУСК"),
             ArtworkFont(Face::NarrowBold, 10), kCaption);
    const qreal left = periodic.left() + 3.5;
    const qreal right = periodic.right() - 2.5;
    painter.setPen(QPen(kAmber, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPolyline(QPolygonF({{left, 186}, {left, 181.5}, {right, 181.5}, {right, 186}}));
}

void PaintCounterGroup(QPainter& painter) {
    PaintGroupFrame(painter, L::kCounterFrame, QStringLiteral("Счетчик"));
    PaintBezel(painter, L::kImageCounter);
    PaintBezel(painter, L::kImageCounterThreshold);
    PaintCaptionOver(painter, L::kImageCounter, QStringLiteral("КОЛИЧЕСТВО ИМПУЛЬСОВ"));
    PaintCaptionOver(painter, L::kImageCounterThreshold, QStringLiteral("ГРАНИЦА СЧЕТА"));
}

// ЧАСЫ, МИНУТЫ, СЕКУНДЫ each over its pair of digits of the timer's hh-mm-ss.
void PaintTimerGroup(QPainter& painter) {
    PaintGroupFrame(painter, L::kTimerFrame, QStringLiteral("Таймер"));
    PaintBezel(painter, L::kImageTimer);
    PaintBezel(painter, L::kImageDuration);
    constexpr int kFirstGlyph = 13;
    constexpr int kGlyphWidth = 38;
    const QString names[] = {QStringLiteral("ЧАСЫ"), QStringLiteral("МИНУТЫ"),
                             QStringLiteral("СЕКУНДЫ")};
    for (int pair = 0; pair < 3; ++pair) {
        const QRect digits(L::kImageTimer.left() + kFirstGlyph + pair * 3 * kGlyphWidth,
                           L::kImageTimer.top(), 2 * kGlyphWidth, L::kImageTimer.height());
        PaintCaptionOver(painter, digits, names[pair]);
    }
    PaintCaptionOver(painter, L::kImageDuration, QStringLiteral("ВРЕМЯ СЧЕТА"));
}

qreal TrackX(double volts) {
    const double travel = L::kTrackBar1.width() - 2 * L::kTrackThumbHalf;
    const double share = (volts * 1000 - L::kTrackMinimum) / (L::kTrackMaximum - L::kTrackMinimum);
    return L::kTrackBar1.left() + L::kTrackThumbHalf + share * travel;
}

// Volts from −4 to 4 over the track bar, with ticks at every volt and half volt.
void PaintThresholdScale(QPainter& painter) {
    const QFont font = ArtworkFont(Face::NarrowBold, 11);
    const int tickBottom = L::kTrackBar1.top() - 2;
    for (int halfVolts = -8; halfVolts <= 8; ++halfVolts) {
        const qreal x = std::floor(TrackX(halfVolts / 2.0)) + 0.5;
        const bool whole = halfVolts % 2 == 0;
        painter.setPen(QPen(whole ? kCaption : kEngraveLight, 1));
        painter.drawLine(QPointF(x, tickBottom - (whole ? 6 : 3)), QPointF(x, tickBottom));
        if (!whole) continue;
        const int volts = halfVolts / 2;
        const QString label =
            volts < 0 ? QStringLiteral("−%1").arg(-volts) : QString::number(volts);
        DrawText(painter, QRectF(x - 12, tickBottom - 20, 24, 12), label, font, kCaption);
    }
    DrawText(painter, QRectF(TrackX(4) + 8, tickBottom - 20, 26, 12), QStringLiteral("(В)"), font,
             kCaption, Qt::AlignLeft | Qt::AlignVCenter);
}

void PaintThresholdGroup(QPainter& painter) {
    PaintGroupFrame(painter, L::kThresholdFrame, QStringLiteral("Дискриминатор"));
    PaintBezel(painter, L::kImageThreshold);
    PaintCaptionOver(painter, L::kImageThreshold, QStringLiteral("ПОРОГ(В)"));
    PaintThresholdScale(painter);
}

void PaintControlGroup(QPainter& painter) {
    PaintGroupFrame(painter, L::kControlFrame, QStringLiteral("Управление"));
    PaintBezel(painter, L::kImage2, 2);
    const QRect repeat = L::kEdit1.united(L::kUpDown1);
    PaintCaptionOver(painter, repeat, QStringLiteral("ПОВТОР"));
    PaintCaptionOver(painter, L::kImage2, QStringLiteral("0%"), 3, Qt::AlignLeft);
    PaintCaptionOver(painter, L::kImage2, QStringLiteral("ИНДИКАТОР ВЫПОЛНЕНИЯ"), 3);
    PaintCaptionOver(painter, L::kImage2, QStringLiteral("100%"), 3, Qt::AlignRight);
}

}  // namespace

QImage RenderPanel() {
    QImage panel(L::kPanel.size(), QImage::Format_RGB32);
    QPainter painter(&panel);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    PaintBrushedPlate(painter);
    PaintTitle(painter);
    PaintScrews(painter);
    PaintBezel(painter, L::kImageRecords);
    PaintBezel(painter, L::kMemo1, 2);
    PaintModeGroup(painter);
    PaintCounterGroup(painter);
    PaintTimerGroup(painter);
    PaintThresholdGroup(painter);
    PaintControlGroup(painter);
    return panel;
}

}  // namespace pulsedesk::tools
