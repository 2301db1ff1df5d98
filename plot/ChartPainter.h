// Draws one chart with QPainter, on any device (the SVG generator, an image). Coordinates are
// points (1/72 in): a chart is as wide as the text of an A4 page.
#pragma once

#include <QPainter>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <string>

#include "plot/Chart.h"

namespace pulsedesk::plot {

constexpr double kPointsPerMm = 72.0 / 25.4;
constexpr QSizeF kChartSize{180 * kPointsPerMm, 90 * kPointsPerMm};

// A chart's text as it is drawn: what a picture file cannot hold (control characters, which
// XML forbids even as references, and malformed UTF-8) becomes U+FFFD.
QString DrawnText(const std::string& utf8);

// Draws the chart inside frame; the painter's font resolution must be 72 dpi.
void PaintChart(QPainter& painter, const Chart& chart, const QRectF& frame);

}  // namespace pulsedesk::plot
