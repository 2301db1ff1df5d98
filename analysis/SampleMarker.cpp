#include "analysis/SampleMarker.h"

#include <vector>

#include "analysis/QcMarker.h"

namespace pulsedesk::analysis {

namespace {

using Parsed = Checked<SampleMarker>;

// The option's text after "KEY=", or nothing for a word of another key.
std::optional<std::string> Option(const std::string& word, const char* key) {
    const std::string prefix = std::string(key) + "=";
    if (word.rfind(prefix, 0) != 0) return std::nullopt;
    return word.substr(prefix.size());
}

// "Y=<yield>[:<u %>]" into the marker; the reason when malformed.
std::string ParseYield(const std::string& text, SampleMarker& m) {
    const std::size_t colon = text.find(':');
    const auto yield = PositiveNumber(text.substr(0, colon));
    if (!yield || *yield > 1) return "the yield Y must be above 0 and at most 1";
    m.yield = *yield;
    if (colon == std::string::npos) return {};
    const auto percent = PositiveNumber(text.substr(colon + 1));
    if (!percent) return "the yield's uncertainty after Y=...: must be a percentage above 0";
    m.yieldRelativeU = *percent / 100;
    return {};
}

// One option word into the marker; the reason when it is malformed, repeated or unknown.
std::string ParseOption(const std::string& word, SampleMarker& m) {
    if (const auto mass = Option(word, "M")) {
        if (m.massKg || m.volumeL) return "give at most one of M= and V=, once";
        m.massKg = PositiveNumber(*mass);
        return m.massKg ? "" : "the mass M must be a number of kilograms above 0";
    }
    if (const auto volume = Option(word, "V")) {
        if (m.massKg || m.volumeL) return "give at most one of M= and V=, once";
        m.volumeL = PositiveNumber(*volume);
        return m.volumeL ? "" : "the volume V must be a number of litres above 0";
    }
    if (const auto yield = Option(word, "Y")) {
        if (m.yield) return "Y= given twice";
        return ParseYield(*yield, m);
    }
    if (const auto source = Option(word, "SRC")) {
        if (!m.source.empty()) return "SRC= given twice";
        if (!IsMarkerName(*source)) return "SRC= needs a source name";
        m.source = *source;
        return {};
    }
    return "unknown word \"" + word + "\" (M=, V=, Y=, SRC=)";
}

}  // namespace

std::optional<Parsed> ParseSampleMarker(const std::string& firstLine) {
    const std::vector<std::string> words = MarkerWords(firstLine);
    if (words.empty() || words[0] != "SAMPLE") return std::nullopt;
    const auto refused = [](const std::string& why) {
        return Parsed::Refused("SAMPLE marker: " + why);
    };
    if (firstLine.size() > kMarkerLimit)
        return refused("longer than " + std::to_string(kMarkerLimit) + " characters");
    for (unsigned char c : firstLine)
        if (c >= 0x7F) return refused("only ASCII characters");
    // "SAMPLE M=0.1" has forgotten its id rather than named a sample "M=0.1".
    if (words.size() < 2 || words[1].find('=') != std::string::npos || !IsMarkerName(words[1]))
        return refused("no sample id after SAMPLE");
    SampleMarker m;
    m.id = words[1];
    for (std::size_t i = 2; i < words.size(); ++i)
        if (const std::string why = ParseOption(words[i], m); !why.empty()) return refused(why);
    return Parsed::Of(m);
}

}  // namespace pulsedesk::analysis
