// A value, or the reason the user reads for there being none.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace pulsedesk::analysis {

template <class T>
struct Checked {
    std::optional<T> value;
    std::string reason;  // empty with a value

    static Checked Of(T v) { return {std::move(v), {}}; }
    static Checked Refused(std::string why) { return {std::nullopt, std::move(why)}; }
};

}  // namespace pulsedesk::analysis
