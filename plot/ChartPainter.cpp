#include "plot/ChartPainter.h"

#include <QFontMetricsF>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <functional>

#include "plot/Scale.h"

namespace pulsedesk::plot {
namespace {

// Colours that stay apart for colour-blind readers (Okabe and Ito) and on a grey printout,
// where the point shapes and dash patterns carry the same meaning.
const QColor kInk(0x22, 0x22, 0x22);
const QColor kMuted(0x5a, 0x5a, 0x5a);
const QColor kGrid(0xe3, 0xe3, 0xe3);
const QColor kFrame(0x8c, 0x8c, 0x8c);
const QColor kWarning(0xe6, 0x9f, 0x00);
const QColor kAction(0xd5, 0x5e, 0x00);
const QColor kBand(0xd8, 0xee, 0xe2);
const QColor kBandTag(0x00, 0x6e, 0x50);
const QColor kMarker(0x7b, 0x32, 0x94);
const QColor kSeriesColours[] = {QColor(0x00, 0x72, 0xb2), QColor(0x00, 0x9e, 0x73),
                                 QColor(0xcc, 0x79, 0xa7), QColor(0x56, 0xb4, 0xe9)};

constexpr double kPad = 4;
constexpr double kTitleSize = 10.5;
constexpr double kTextSize = 8;
constexpr double kAxisTitleSize = 8.5;

QFont Font(double points, bool bold = false) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

QString AxisTitle(const Axis& axis) {
    if (axis.unit.empty()) return DrawnText(axis.title);
    return DrawnText(axis.title) + QStringLiteral(" (") + DrawnText(axis.unit) + u')';
}

QColor SeriesColour(std::size_t i) { return kSeriesColours[i % std::size(kSeriesColours)]; }

QColor FlagColour(Flag flag, const QColor& normal) {
    return flag == Flag::Action ? kAction : flag == Flag::Warning ? kWarning : normal;
}

QPen LevelPen(const Level& level) {
    QPen pen(kMuted, 0.7);
    if (level.kind == LineKind::Mean) pen = QPen(kInk, 1.0);
    if (level.kind == LineKind::Warning) pen = QPen(kWarning, 1.1, Qt::DashLine);
    if (level.kind == LineKind::Action) pen = QPen(kAction, 1.2, Qt::DashLine);
    if (level.provisional) pen.setStyle(Qt::DotLine);
    pen.setCapStyle(Qt::FlatCap);
    return pen;
}

QPen MarkerPen() {
    QPen pen(kMarker, 1.1, Qt::DashDotLine);
    pen.setCapStyle(Qt::FlatCap);
    return pen;
}

// A point's symbol: a circle, a square beyond the warning limits, a diamond beyond the action
// limits, so that a grey printout keeps the judgement.
void DrawSymbol(QPainter& p, QPointF at, double r, Flag flag, const QColor& normal,
                bool hollow = false) {
    p.setPen(QPen(flag == Flag::None ? normal.darker(130) : kInk, hollow ? 0.8 : 0.5));
    p.setBrush(hollow ? QColor(Qt::white) : FlagColour(flag, normal));
    if (flag == Flag::None) {
        p.drawEllipse(at, r, r);
    } else if (flag == Flag::Warning) {
        const double s = r * 0.95;
        p.drawRect(QRectF(at.x() - s, at.y() - s, 2 * s, 2 * s));
    } else {
        const double s = r * 1.45;
        p.drawPolygon(QPolygonF(
            {at + QPointF(0, -s), at + QPointF(s, 0), at + QPointF(0, s), at + QPointF(-s, 0)}));
    }
}

// A legend entry: its sample drawn into a small box, and its text.
struct LegendEntry {
    std::function<void(QPainter&, const QRectF&)> sample;
    QString text;
};

std::vector<LegendEntry> LegendOf(const Chart& chart) {
    std::vector<LegendEntry> entries;
    const bool manySeries = chart.series.size() > 1;
    bool warning = false, action = false, hollow = false, provisional = false;
    for (std::size_t i = 0; i < chart.series.size(); ++i) {
        const Series& s = chart.series[i];
        for (const Point& pt : s.points) {
            warning = warning || pt.flag == Flag::Warning;
            action = action || pt.flag == Flag::Action;
            hollow = hollow || pt.hollow;
        }
        if (s.name.empty() && !manySeries) continue;
        const QColor colour = SeriesColour(i);
        const bool joined = s.joined;
        entries.push_back({[colour, joined](QPainter& p, const QRectF& box) {
                               if (joined) {
                                   p.setPen(QPen(colour, 0.9));
                                   p.drawLine(QPointF(box.left(), box.center().y()),
                                              QPointF(box.right(), box.center().y()));
                               }
                               DrawSymbol(p, box.center(), 2.3, Flag::None, colour);
                           },
                           DrawnText(s.name)});
    }
    const auto symbol = [](Flag flag) {
        return [flag](QPainter& p, const QRectF& box) {
            DrawSymbol(p, box.center(), 2.3, flag, kSeriesColours[0]);
        };
    };
    if (warning)
        entries.push_back({symbol(Flag::Warning), QStringLiteral("beyond the warning limit")});
    if (action)
        entries.push_back({symbol(Flag::Action), QStringLiteral("beyond the action limit")});
    if (hollow)
        entries.push_back({[](QPainter& p, const QRectF& box) {
                               DrawSymbol(p, box.center(), 2.3, Flag::None, kSeriesColours[0],
                                          true);
                           },
                           QStringLiteral("excluded (reason in the journal)")});
    for (const Level& level : chart.levels) provisional = provisional || level.provisional;
    if (provisional) {
        entries.push_back({[](QPainter& p, const QRectF& box) {
                               Level sample;
                               sample.provisional = true;
                               p.setPen(LevelPen(sample));
                               p.drawLine(QPointF(box.left(), box.center().y()),
                                          QPointF(box.right(), box.center().y()));
                           },
                           QStringLiteral("provisional limits")});
    }
    for (std::size_t i = 0; i < chart.bands.size(); ++i) {
        QString text = DrawnText(chart.bands[i].label);
        if (chart.bands.size() > 1) text = QString::number(i + 1) + QStringLiteral(": ") + text;
        if (text.isEmpty()) continue;
        entries.push_back({[](QPainter& p, const QRectF& box) {
                               p.setPen(QPen(kBandTag, 0.5));
                               p.setBrush(kBand);
                               p.drawRect(box.adjusted(2, 0.5, -2, -0.5));
                           },
                           text});
    }
    for (const Marker& m : chart.markers) {
        if (m.label.empty()) continue;
        entries.push_back({[](QPainter& p, const QRectF& box) {
                               p.setPen(MarkerPen());
                               p.drawLine(QPointF(box.left(), box.center().y()),
                                          QPointF(box.right(), box.center().y()));
                           },
                           DrawnText(m.label)});
    }
    return entries;
}

// Where one legend entry goes: the rows are filled left to right and wrap at the width.
struct PlacedEntry {
    const LegendEntry* entry;
    QPointF at;  // top left
};

constexpr double kSampleWidth = 16;

// A legend text longer than a row is cut short.
double LegendTextWidth(double rowWidth) { return rowWidth - kSampleWidth - 4; }

std::vector<PlacedEntry> PlaceLegend(const std::vector<LegendEntry>& entries,
                                     const QFontMetricsF& fm, double width, double& height) {
    std::vector<PlacedEntry> placed;
    const double rowHeight = fm.height() + 2;
    double x = 0, y = 0;
    for (const LegendEntry& e : entries) {
        const double w =
            kSampleWidth + 4 + std::min(fm.horizontalAdvance(e.text), LegendTextWidth(width)) + 14;
        if (x > 0 && x + w > width) {
            x = 0;
            y += rowHeight;
        }
        placed.push_back({&e, QPointF(x, y)});
        x += w;
    }
    height = entries.empty() ? 0 : y + rowHeight;
    return placed;
}

struct Range {
    double lo = std::numeric_limits<double>::infinity();
    double hi = -std::numeric_limits<double>::infinity();
    void Add(double v) {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    bool Empty() const { return lo > hi; }
};

Range XRange(const Chart& c) {
    Range r;
    for (const Series& s : c.series)
        for (const Point& p : s.points) r.Add(p.x);
    for (const Band& b : c.bands) {
        r.Add(b.from);
        r.Add(b.to);
    }
    for (const Marker& m : c.markers) r.Add(m.x);
    if (c.x.withZero) r.Add(0);
    if (r.Empty()) r = {0, 1};
    // Room beside the outer points, so that no symbol sits on the frame.
    const double span = r.hi - r.lo;
    const double margin = c.x.integer ? 0.5 : span * 0.03;
    if (!(c.x.withZero && r.lo == 0)) r.lo -= margin;
    r.hi += margin;
    return r;
}

Range YRange(const Chart& c) {
    Range r;
    for (const Series& s : c.series)
        for (const Point& p : s.points) {
            // A logarithmic axis has no room for 0: its range is that of the positive values.
            if (!c.logarithmicY || p.y - p.error > 0) r.Add(p.y - p.error);
            if (!c.logarithmicY || p.y > 0) r.Add(p.y + p.error);
        }
    if (c.logarithmicY) return r;
    for (const Level& l : c.levels) {
        r.Add(l.y);
        for (const auto& step : l.steps) r.Add(step.second);
    }
    if (c.y.withZero) r.Add(0);
    if (r.Empty()) r = {0, 1};
    const double margin = (r.hi - r.lo) * 0.05;
    if (!(c.y.withZero && r.lo == 0)) r.lo -= margin;
    if (!(c.y.withZero && r.hi == 0)) r.hi += margin;
    return r;
}

class ChartDrawing {
  public:
    ChartDrawing(QPainter& p, const Chart& c, const QRectF& frame) : p(p), c(c), frame(frame) {}

    void Draw() {
        p.save();
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        LayOut();
        DrawHeading();
        DrawBands();
        DrawGridAndTicks();
        DrawLevels();
        DrawMarkers();
        DrawSeries();
        DrawAxisTitles();
        DrawLegend();
        p.restore();
    }

  private:
    QPainter& p;
    const Chart& c;
    QRectF frame;
    QRectF plot;
    Scale xs, ys;
    double headingHeight = 0, legendHeight = 0, levelLabelWidth = 0;
    std::vector<LegendEntry> legend;

    QFontMetricsF Metrics(const QFont& font) const { return QFontMetricsF(font, p.device()); }

    // The note in at most two lines, broken between words; the rest is cut short.
    QStringList NoteLines(const QFontMetricsF& fm, double width) const {
        QStringList lines;
        QString line;
        for (const QString& word : DrawnText(c.note).split(u' ', Qt::SkipEmptyParts)) {
            const QString longer = line.isEmpty() ? word : line + u' ' + word;
            if (line.isEmpty() || fm.horizontalAdvance(longer) <= width || lines.size() == 1) {
                line = longer;
                continue;
            }
            lines << line;
            line = word;
        }
        if (!line.isEmpty()) lines << line;
        for (QString& l : lines) l = fm.elidedText(l, Qt::ElideRight, width);
        return lines;
    }
    double X(double v) const { return xs.Map(v, plot.left(), plot.right()); }
    double Y(double v) const { return ys.Map(v, plot.bottom(), plot.top()); }

    // A level's label, cut short beyond a third of the chart's width.
    QString LevelText(const Level& l) const {
        return Metrics(Font(kTextSize))
            .elidedText(DrawnText(l.label), Qt::ElideRight, frame.width() / 3);
    }

    void LayOut() {
        const QRectF inner = frame.adjusted(kPad, kPad, -kPad, -kPad);
        const QFontMetricsF text = Metrics(Font(kTextSize));
        const QFontMetricsF axisTitle = Metrics(Font(kAxisTitleSize));
        headingHeight = Metrics(Font(kTitleSize, true)).height() + 4;
        headingHeight +=
            static_cast<double>(NoteLines(text, inner.width()).size()) * (text.height() + 1);
        legend = LegendOf(c);
        PlaceLegend(legend, text, inner.width(), legendHeight);

        for (const Level& l : c.levels)
            levelLabelWidth = std::max(levelLabelWidth, text.horizontalAdvance(LevelText(l)));
        const double right = levelLabelWidth > 0 ? levelLabelWidth + 8 : 14;
        const double xTitle = c.x.title.empty() ? 0 : axisTitle.height() + 2;
        const double legendGap = legendHeight > 0 ? 6 : 0;
        // The y scale first, for a plot as high as if the x labels took two lines.
        const double bottomTwoLines = 4 + 2 * text.height() + xTitle + legendGap + legendHeight;
        const double roughHeight = inner.height() - headingHeight - bottomTwoLines - 6;
        const Range yr = YRange(c);
        ys = c.logarithmicY
                 ? LogScale(yr.lo, yr.hi)
                 : NumberScale(yr.lo, yr.hi, c.y.integer, true,
                               std::max(3, static_cast<int>(roughHeight / (text.height() * 2.2))));
        double yLabels = 0;
        for (const Tick& t : ys.ticks) yLabels = std::max(yLabels, text.horizontalAdvance(t.label));
        const double left = (c.y.title.empty() ? 0 : axisTitle.height() + 4) + yLabels + 5;

        const double width = inner.width() - left - right;
        const Range xr = XRange(c);
        const auto measure = [&text](const QString& s) { return text.horizontalAdvance(s); };
        xs = c.x.kind == AxisKind::Time
                 ? TimeScale(xr.lo, xr.hi, width, measure)
                 : NumberScaleFitting(xr.lo, xr.hi, c.x.integer, false, width, measure);
        bool twoLines = false;
        for (const Tick& t : xs.ticks) twoLines = twoLines || !t.below.isEmpty();
        const double bottom =
            4 + (twoLines ? 2 : 1) * text.height() + xTitle + legendGap + legendHeight;
        plot = QRectF(inner.left() + left, inner.top() + headingHeight + 6, width,
                      inner.height() - headingHeight - 6 - bottom);
    }

    void DrawHeading() {
        const QRectF inner = frame.adjusted(kPad, kPad, -kPad, -kPad);
        p.setPen(kInk);
        const QFont title = Font(kTitleSize, true);
        p.setFont(title);
        const QFontMetricsF tm = Metrics(title);
        p.drawText(QPointF(inner.left(), inner.top() + tm.ascent()),
                   tm.elidedText(DrawnText(c.title), Qt::ElideRight, inner.width()));
        const QFont note = Font(kTextSize);
        const QFontMetricsF nm = Metrics(note);
        p.setFont(note);
        p.setPen(kMuted);
        double base = inner.top() + tm.height() + 1 + nm.ascent();
        for (const QString& line : NoteLines(nm, inner.width())) {
            p.drawText(QPointF(inner.left(), base), line);
            base += nm.height() + 1;
        }
    }

    void DrawBands() {
        const QFont font = Font(kTextSize, true);
        const QFontMetricsF fm = Metrics(font);
        p.setFont(font);
        for (std::size_t i = 0; i < c.bands.size(); ++i) {
            const double left = X(c.bands[i].from);
            const double right = std::max(X(c.bands[i].to), left + 1);
            p.fillRect(QRectF(left, plot.top(), right - left, plot.height()), kBand);
            if (c.bands.size() < 2) continue;
            p.setPen(kBandTag);
            p.drawText(QPointF(left + 3, plot.top() + fm.ascent() + 2), QString::number(i + 1));
        }
    }

    void DrawGridAndTicks() {
        const QFont font = Font(kTextSize);
        const QFontMetricsF fm = Metrics(font);
        p.setFont(font);
        p.setBrush(Qt::NoBrush);
        for (const Tick& t : ys.ticks) {
            const double y = Y(t.value);
            p.setPen(QPen(kGrid, 0.5));
            p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
            p.setPen(kInk);
            p.drawText(
                QPointF(plot.left() - 4 - fm.horizontalAdvance(t.label), y + fm.ascent() / 2 - 1),
                t.label);
        }
        for (const Tick& t : xs.ticks) {
            const double x = X(t.value);
            p.setPen(QPen(kGrid, 0.5));
            p.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
            p.setPen(QPen(kFrame, 0.6));
            p.drawLine(QPointF(x, plot.bottom()), QPointF(x, plot.bottom() + 2.5));
            p.setPen(kInk);
            const double base = plot.bottom() + 3 + fm.ascent();
            p.drawText(QPointF(x - fm.horizontalAdvance(t.label) / 2, base), t.label);
            if (!t.below.isEmpty()) {
                p.setPen(kMuted);
                p.drawText(QPointF(x - fm.horizontalAdvance(t.below) / 2, base + fm.height()),
                           t.below);
            }
        }
        p.setPen(QPen(kFrame, 0.6));
        p.drawRect(plot);
    }

    // Lines across the plot, labelled in the right margin; labels that would overlap are
    // pushed apart (limits clipped at 0 can coincide).
    void DrawLevels() {
        const QFont font = Font(kTextSize);
        const QFontMetricsF fm = Metrics(font);
        std::vector<std::pair<double, const Level*>> labels;
        for (const Level& l : c.levels) {
            p.setPen(LevelPen(l));
            p.setBrush(Qt::NoBrush);
            if (l.steps.empty()) {
                p.drawLine(QPointF(plot.left(), Y(l.y)), QPointF(plot.right(), Y(l.y)));
            } else {
                QPainterPath path(QPointF(plot.left(), Y(l.steps.front().second)));
                for (const auto& [x, y] : l.steps) {
                    path.lineTo(std::max(plot.left(), X(x)), path.currentPosition().y());
                    path.lineTo(std::max(plot.left(), X(x)), Y(y));
                }
                path.lineTo(plot.right(), path.currentPosition().y());
                p.drawPath(path);
            }
            labels.emplace_back(Y(l.y), &l);
        }
        std::stable_sort(labels.begin(), labels.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        const double step = fm.height() * 0.9;
        for (std::size_t i = 1; i < labels.size(); ++i)
            labels[i].first = std::max(labels[i].first, labels[i - 1].first + step);
        const double overflow =
            labels.empty() ? 0 : labels.back().first - (plot.bottom() + fm.height());
        p.setFont(font);
        for (auto& [y, level] : labels) {
            if (overflow > 0) y -= overflow;
            p.setPen(LevelPen(*level).color().darker(level->kind == LineKind::Warning ? 135 : 100));
            p.drawText(QPointF(plot.right() + 4, y + fm.ascent() / 2 - 1), LevelText(*level));
        }
    }

    void DrawMarkers() {
        p.setPen(MarkerPen());
        for (const Marker& m : c.markers)
            p.drawLine(QPointF(X(m.x), plot.top()), QPointF(X(m.x), plot.bottom()));
    }

    void DrawSeries() {
        std::size_t count = 0;
        for (const Series& s : c.series) count = std::max(count, s.points.size());
        const double r = std::clamp(0.3 * plot.width() / std::max<std::size_t>(count, 1), 1.3, 2.6);
        bool any = false;
        for (std::size_t i = 0; i < c.series.size(); ++i) {
            const Series& s = c.series[i];
            const QColor colour = SeriesColour(i);
            any = any || !s.points.empty();
            if (s.joined && s.points.size() > 1) {
                QPainterPath path(QPointF(X(s.points[0].x), Y(s.points[0].y)));
                for (const Point& pt : s.points) path.lineTo(X(pt.x), Y(pt.y));
                p.setPen(QPen(colour, 0.9));
                p.setBrush(Qt::NoBrush);
                p.drawPath(path);
            }
            for (const Point& pt : s.points) {
                if (pt.error <= 0) continue;
                const double x = X(pt.x), top = Y(pt.y + pt.error), bottom = Y(pt.y - pt.error);
                p.setPen(QPen(FlagColour(pt.flag, colour).darker(110), 0.7));
                p.drawLine(QPointF(x, top), QPointF(x, bottom));
                const double cap = r * 0.9;
                p.drawLine(QPointF(x - cap, top), QPointF(x + cap, top));
                p.drawLine(QPointF(x - cap, bottom), QPointF(x + cap, bottom));
            }
            // Flagged points last, so that none hides under its neighbours.
            for (int pass = 0; pass < 2; ++pass)
                for (const Point& pt : s.points)
                    if ((pt.flag != Flag::None) == (pass == 1))
                        DrawSymbol(p, QPointF(X(pt.x), Y(pt.y)), r, pt.flag, colour, pt.hollow);
        }
        if (any) return;
        p.setPen(kMuted);
        p.setFont(Font(kAxisTitleSize));
        p.drawText(plot, Qt::AlignCenter, QStringLiteral("no points"));
    }

    void DrawAxisTitles() {
        const QFont font = Font(kAxisTitleSize);
        const QFontMetricsF fm = Metrics(font);
        const QFontMetricsF text = Metrics(Font(kTextSize));
        p.setFont(font);
        p.setPen(kInk);
        bool twoLines = false;
        for (const Tick& t : xs.ticks) twoLines = twoLines || !t.below.isEmpty();
        const QString xTitle = AxisTitle(c.x);
        const double xBase = plot.bottom() + 4 + (twoLines ? 2 : 1) * text.height() + fm.ascent();
        p.drawText(QPointF(plot.center().x() - fm.horizontalAdvance(xTitle) / 2, xBase), xTitle);
        const QString yTitle = AxisTitle(c.y);
        p.save();
        p.translate(frame.left() + kPad + fm.ascent(), plot.center().y());
        p.rotate(-90);
        p.drawText(QPointF(-fm.horizontalAdvance(yTitle) / 2, 0), yTitle);
        p.restore();
    }

    void DrawLegend() {
        const QFont font = Font(kTextSize);
        const QFontMetricsF fm = Metrics(font);
        const QRectF inner = frame.adjusted(kPad, kPad, -kPad, -kPad);
        double height = 0;
        const auto placed = PlaceLegend(legend, fm, inner.width(), height);
        const QPointF origin(inner.left(), inner.bottom() - height);
        for (const PlacedEntry& e : placed) {
            const QPointF at = origin + e.at;
            p.save();
            e.entry->sample(p, QRectF(at.x(), at.y() + 1, kSampleWidth, fm.height() - 2));
            p.restore();
            p.setFont(font);
            p.setPen(kInk);
            p.drawText(
                QPointF(at.x() + kSampleWidth + 4, at.y() + fm.ascent()),
                fm.elidedText(e.entry->text, Qt::ElideRight, LegendTextWidth(inner.width())));
        }
    }
};

}  // namespace

QString DrawnText(const std::string& utf8) {
    QString text = QString::fromStdString(utf8);
    for (QChar& c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\t') || u == 0xFFFE || u == 0xFFFF) c = QChar::ReplacementCharacter;
    }
    return text;
}

void PaintChart(QPainter& painter, const Chart& chart, const QRectF& frame) {
    ChartDrawing(painter, chart, frame).Draw();
}

}  // namespace pulsedesk::plot
