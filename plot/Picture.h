// Charts as a picture file: SVG for pages and print, PNG for a quick look; one chart under the
// other when there are several.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <stdexcept>
#include <vector>

#include "plot/Chart.h"

namespace pulsedesk::plot {

// A file that could not be written, with its path and the reason.
struct PictureError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A standalone SVG document whose viewBox is in points, 180 mm wide.
QByteArray SvgPicture(const std::vector<Chart>& charts);
QImage PngPicture(const std::vector<Chart>& charts, int dpi);

// By the name's extension (.svg or .png); the file is replaced whole or left as it was.
void WritePicture(const std::vector<Chart>& charts, const QString& path, int dpi = 200);

}  // namespace pulsedesk::plot
