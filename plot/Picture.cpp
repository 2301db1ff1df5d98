#include "plot/Picture.h"

#include <QBuffer>
#include <QPainter>
#include <QSaveFile>
#include <QSvgGenerator>
#include <cmath>

#include "plot/ChartPainter.h"

namespace pulsedesk::plot {
namespace {

constexpr double kGap = 6;  // between charts stacked in one picture

QSizeF PictureSize(std::size_t charts) {
    const double n = static_cast<double>(std::max<std::size_t>(charts, 1));
    return {kChartSize.width(), n * kChartSize.height() + (n - 1) * kGap};
}

void PaintAll(QPainter& painter, const std::vector<Chart>& charts) {
    double top = 0;
    for (const Chart& chart : charts) {
        PaintChart(painter, chart, QRectF(QPointF(0, top), kChartSize));
        top += kChartSize.height() + kGap;
    }
}

int DotsPerMeter(double dpi) { return static_cast<int>(std::lround(dpi / 0.0254)); }

}  // namespace

QByteArray SvgPicture(const std::vector<Chart>& charts) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    const QSizeF size = PictureSize(charts.size());
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setResolution(72);  // one user unit per point, as the painter draws
    svg.setSize(size.toSize());
    svg.setViewBox(QRectF(QPointF(0, 0), size));
    // The generator writes its title and description into the document as given.
    if (!charts.empty()) {
        svg.setTitle(DrawnText(charts.front().title).toHtmlEscaped());
        svg.setDescription(DrawnText(charts.front().note).toHtmlEscaped());
    }
    QPainter painter(&svg);
    PaintAll(painter, charts);
    painter.end();
    return bytes;
}

QImage PngPicture(const std::vector<Chart>& charts, int dpi) {
    const QSizeF size = PictureSize(charts.size());
    const double scale = dpi / 72.0;
    QImage image((size * scale).toSize(), QImage::Format_RGB32);
    image.fill(Qt::white);
    // Fonts are sized in points on a 72 dpi device; the painter scales up to the real density.
    image.setDotsPerMeterX(DotsPerMeter(72));
    image.setDotsPerMeterY(DotsPerMeter(72));
    QPainter painter(&image);
    painter.scale(scale, scale);
    PaintAll(painter, charts);
    painter.end();
    image.setDotsPerMeterX(DotsPerMeter(dpi));
    image.setDotsPerMeterY(DotsPerMeter(dpi));
    return image;
}

void WritePicture(const std::vector<Chart>& charts, const QString& path, int dpi) {
    const bool png = path.endsWith(QLatin1String(".png"), Qt::CaseInsensitive);
    if (!png && !path.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive))
        throw PictureError(path.toStdString() + ": the name must end in .svg or .png");
    QSaveFile file(path);
    const auto fail = [&] {
        throw PictureError(path.toStdString() + ": " + file.errorString().toStdString());
    };
    if (!file.open(QIODevice::WriteOnly)) fail();
    const bool written =
        png ? PngPicture(charts, dpi).save(&file, "PNG") : file.write(SvgPicture(charts)) >= 0;
    if (!written) fail();
    if (!file.commit()) fail();
}

}  // namespace pulsedesk::plot
