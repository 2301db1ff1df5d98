#include "plot/ChartReader.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>
#include <cmath>
#include <functional>
#include <initializer_list>

namespace pulsedesk::plot {
namespace {

// One object of the document and where it sits ("charts[2].series[0]"), for the messages.
class Node {
  public:
    Node(QJsonObject object, std::string path, std::initializer_list<const char*> keys)
        : object(std::move(object)), path(std::move(path)) {
        for (auto it = this->object.begin(); it != this->object.end(); ++it) {
            bool known = false;
            for (const char* key : keys) known = known || it.key() == QLatin1String(key);
            if (!known) Fail("unknown key \"" + it.key().toStdString() + "\"");
        }
    }

    [[noreturn]] void Fail(const std::string& what) const {
        throw ChartError((path.empty() ? std::string("document") : path) + ": " + what);
    }
    std::string At(const char* key) const { return (path.empty() ? "" : path + ".") + key; }
    bool Has(const char* key) const { return object.contains(QLatin1String(key)); }
    QJsonValue Value(const char* key) const { return object.value(QLatin1String(key)); }

    std::string Text(const char* key) const {
        if (!Has(key)) return {};
        if (!Value(key).isString()) Fail(std::string("\"") + key + "\" is not a string");
        return Value(key).toString().toStdString();
    }
    bool Boolean(const char* key) const {
        if (!Has(key)) return false;
        if (!Value(key).isBool()) Fail(std::string("\"") + key + "\" is not true or false");
        return Value(key).toBool();
    }
    double Number(const char* key, bool required = false) const {
        if (!Has(key)) {
            if (required) Fail(std::string("\"") + key + "\" is missing");
            return 0;
        }
        if (!Value(key).isDouble()) Fail(std::string("\"") + key + "\" is not a number");
        const double value = Value(key).toDouble();
        // Beyond this no scale of ours is meaningful, and spans would overflow.
        if (std::fabs(value) > 1e12) Fail(std::string("\"") + key + "\" is out of range");
        return value;
    }
    // An x on the axis: a number, or a local time on a time axis.
    double Position(const char* key, AxisKind kind) const {
        if (kind == AxisKind::Number) return Number(key, true);
        if (!Value(key).isString()) Fail(std::string("\"") + key + "\" is not a local time");
        bool ok = false;
        const double seconds = ParseLocalTime(Value(key).toString(), ok);
        if (!ok) Fail(std::string("\"") + key + "\" is not a time YYYY-MM-DDTHH:MM[:SS]");
        return seconds;
    }
    template <class Item>
    std::vector<Item> List(const char* key, const std::function<Item(const Node&)>& read,
                           std::initializer_list<const char*> keys) const {
        std::vector<Item> items;
        if (!Has(key)) return items;
        if (!Value(key).isArray()) Fail(std::string("\"") + key + "\" is not a list");
        const QJsonArray array = Value(key).toArray();
        for (qsizetype i = 0; i < array.size(); ++i) {
            const std::string where = At(key) + "[" + std::to_string(i) + "]";
            if (!array[i].isObject()) throw ChartError(where + ": not an object");
            items.push_back(read(Node(array[i].toObject(), where, keys)));
        }
        return items;
    }
    Node Child(const char* key, std::initializer_list<const char*> keys) const {
        if (!Value(key).isObject())
            Fail(std::string("\"") + key + "\" is missing or not an object");
        return Node(Value(key).toObject(), At(key), keys);
    }

    template <class Enum>
    Enum Choice(const char* key, std::initializer_list<std::pair<const char*, Enum>> names) const {
        const std::string text = Text(key);
        if (text.empty()) return names.begin()->second;
        for (const auto& [name, value] : names)
            if (text == name) return value;
        Fail(std::string("\"") + key + "\" has no kind \"" + text + "\"");
    }

  private:
    QJsonObject object;
    std::string path;
};

Axis ReadAxis(const Node& node) {
    Axis axis;
    axis.kind =
        node.Choice<AxisKind>("kind", {{"number", AxisKind::Number}, {"time", AxisKind::Time}});
    axis.title = node.Text("title");
    axis.unit = node.Text("unit");
    axis.withZero = node.Boolean("zero");
    axis.integer = node.Boolean("integer");
    return axis;
}

Chart ReadChart(const Node& node) {
    Chart chart;
    chart.title = node.Text("title");
    chart.note = node.Text("note");
    const auto axisKeys = {"kind", "title", "unit", "zero", "integer"};
    chart.x = ReadAxis(node.Child("x", axisKeys));
    chart.y = ReadAxis(node.Child("y", axisKeys));
    chart.logarithmicY = node.Boolean("log_y");
    if (chart.y.kind == AxisKind::Time) node.Fail("the y axis cannot be a time axis");
    const AxisKind xKind = chart.x.kind;

    chart.series = node.List<Series>(
        "series",
        [xKind](const Node& s) {
            Series series;
            series.name = s.Text("name");
            series.joined = s.Boolean("joined");
            series.points =
                s.List<Point>("points",
                              [xKind](const Node& p) {
                                  Point point;
                                  point.x = p.Position("x", xKind);
                                  point.y = p.Number("y", true);
                                  point.error = p.Number("error");
                                  if (point.error < 0) p.Fail("\"error\" is negative");
                                  point.flag = p.Choice<Flag>("flag", {{"none", Flag::None},
                                                                       {"warning", Flag::Warning},
                                                                       {"action", Flag::Action}});
                                  point.hollow = p.Boolean("hollow");
                                  return point;
                              },
                              {"x", "y", "error", "flag", "hollow"});
            return series;
        },
        {"name", "joined", "points"});

    chart.levels = node.List<Level>("levels",
                                    [xKind](const Node& l) {
                                        Level level;
                                        level.y = l.Number("y", true);
                                        level.kind = l.Choice<LineKind>(
                                            "kind", {{"plain", LineKind::Plain},
                                                     {"mean", LineKind::Mean},
                                                     {"warning", LineKind::Warning},
                                                     {"action", LineKind::Action}});
                                        level.label = l.Text("label");
                                        level.provisional = l.Boolean("provisional");
                                        level.steps = l.List<std::pair<double, double>>(
                                            "steps",
                                            [xKind](const Node& step) {
                                                return std::pair(step.Position("x", xKind),
                                                                 step.Number("y", true));
                                            },
                                            {"x", "y"});
                                        return level;
                                    },
                                    {"y", "kind", "label", "provisional", "steps"});

    chart.bands = node.List<Band>(
        "bands",
        [xKind](const Node& b) {
            Band band{b.Position("from", xKind), b.Position("to", xKind), b.Text("label")};
            if (band.to < band.from) b.Fail("\"to\" lies before \"from\"");
            return band;
        },
        {"from", "to", "label"});

    chart.markers = node.List<Marker>("markers",
                                      [xKind](const Node& m) {
                                          return Marker{m.Position("x", xKind), m.Text("label")};
                                      },
                                      {"x", "label"});
    return chart;
}

const QTimeZone kNaive = QTimeZone::utc();

}  // namespace

double ParseLocalTime(const QString& text, bool& ok) {
    // Date and time apart: as one local QDateTime, an hour that the machine's zone skips in
    // spring would be invalid.
    const QDate date = QDate::fromString(text.left(10), Qt::ISODate);
    const QTime time = QTime::fromString(text.mid(11), Qt::ISODate);
    ok = text.size() >= 16 && text.size() <= 19 && text[10] == u'T' && date.isValid() &&
         time.isValid();
    if (!ok) return 0;
    return static_cast<double>(QDateTime(date, time, kNaive).toSecsSinceEpoch());
}

QString LocalTimeText(double seconds, const char* format) {
    return QDateTime::fromSecsSinceEpoch(static_cast<qint64>(std::llround(seconds)), kNaive)
        .toString(QLatin1String(format));
}

std::vector<Chart> ReadCharts(const QByteArray& json) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError) {
        throw ChartError("not JSON at byte " + std::to_string(error.offset) + ": " +
                         error.errorString().toStdString());
    }
    if (!doc.isObject()) throw ChartError("document: not a JSON object");
    const Node root(doc.object(), "", {"charts"});
    if (!root.Has("charts")) root.Fail("\"charts\" is missing");
    auto charts = root.List<Chart>(
        "charts", ReadChart,
        {"title", "note", "x", "y", "log_y", "series", "levels", "bands", "markers"});
    if (charts.empty()) root.Fail("\"charts\" is empty");
    return charts;
}

}  // namespace pulsedesk::plot
