#include "CountingCurve.h"

#include <cmath>
#include <sstream>

#include "NumberField.h"

namespace pulsedesk::sim {

namespace {

const NumberField kEndField{"--plateau", -4600, 4600, false};

std::optional<CountingCurve::Region> ParseRegion(const std::string& text, std::string& error) {
    const auto colon = text.find(':');
    if (colon == std::string::npos) {
        error = "--plateau " + text + ": want FROM:TO in mV";
        return std::nullopt;
    }
    const auto from = kEndField.Parse(text.substr(0, colon), error);
    const auto to = from ? kEndField.Parse(text.substr(colon + 1), error) : std::nullopt;
    if (!to) return std::nullopt;
    if (*to <= *from) {
        error = "--plateau " + text + ": TO must lie above FROM";
        return std::nullopt;
    }
    return CountingCurve::Region{*from, *to};
}

}  // namespace

std::optional<CountingCurve> CountingCurve::Parse(const std::string& text, std::string& error) {
    std::vector<Region> regions;
    std::istringstream in(text);
    for (std::string piece; std::getline(in, piece, ',');) {
        auto region = ParseRegion(piece, error);
        if (!region) return std::nullopt;
        regions.push_back(*region);
    }
    if (regions.empty() || regions.size() > 2 || text.back() == ',') {
        error = "--plateau " + text + ": want one or two regions FROM:TO[,FROM:TO]";
        return std::nullopt;
    }
    if (regions.size() == 2 && regions[1].fromMv <= regions[0].toMv) {
        error = "--plateau " + text + ": the second region must lie above the first";
        return std::nullopt;
    }
    return CountingCurve(std::move(regions));
}

double CountingCurve::Flat(std::size_t i, double mv) const {
    const double middle = (regions[i].fromMv + regions[i].toMv) / 2;
    return Level(i) * (1 - kSlopePerMv * (mv - middle));
}

double CountingCurve::Factor(double mv) const {
    const Region& first = regions.front();
    const Region& last = regions.back();
    if (mv < first.fromMv) return Flat(0, first.fromMv) * std::exp((first.fromMv - mv) / kEdgeMv);
    if (mv > last.toMv)
        return Flat(regions.size() - 1, last.toMv) * std::exp((last.toMv - mv) / kEdgeMv);
    for (std::size_t i = 0; i < regions.size(); ++i)
        if (mv <= regions[i].toMv && mv >= regions[i].fromMv) return Flat(i, mv);
    // Between the two regions.
    const double share = (mv - first.toMv) / (last.fromMv - first.toMv);
    return std::exp((1 - share) * std::log(Flat(0, first.toMv)) +
                    share * std::log(Flat(1, last.fromMv)));
}

}  // namespace pulsedesk::sim
