// Draws one chart with QPainter, on any device (the SVG generator, an image). Coordinates are
// points (1/72 in): a chart is as wide as the text of an A4 page.
#pragma once

#include <QPainter>
#include <QRectF>
#include <QSizeF>

#include "plot/Chart.h"

namespace pulsedesk::plot {

constexpr double kPointsPerMm = 72.0 / 25.4;
constexpr QSizeF kChartSize{180 * kPointsPerMm, 90 * kPointsPerMm};

// Draws the chart inside frame; the painter's font resolution must be 72 dpi.
void PaintChart(QPainter& painter, const Chart& chart, const QRectF& frame);

}  // namespace pulsedesk::plot
