// The panel's controls at their places (client pixels): the one table that the panel form,
// the artwork generator and the tests all read.
#pragma once

#include <QRect>
#include <array>
#include <string_view>

namespace pulsedesk::display::layout {

enum class Kind { SpeedButton, Image, Memo, Label, TrackBar, Edit, UpDown };

struct PanelControl {
    std::string_view name;
    QRect place;
    Kind kind;
};

inline constexpr QSize kClientSize{600, 600};

inline constexpr std::array<PanelControl, 29> kControls{{
    {"SpeedButton5", {38, 48, 194, 27}, Kind::SpeedButton},  // СОЗДАТЬ НОВУЮ ЗАПИСЬ
    {"ImageRecords", {255, 51, 89, 21}, Kind::Image},
    {"SpeedButton6", {367, 48, 194, 27}, Kind::SpeedButton},  // НАЧАТЬ ИССЛЕДОВАНИЕ
    {"Memo1", {11, 87, 578, 64}, Kind::Memo},
    {"Label1", {43, 192, 325, 19}, Kind::Label},
    {"sbMode0", {395, 188, 41, 27}, Kind::SpeedButton},
    {"sbMode1", {435, 188, 41, 27}, Kind::SpeedButton},
    {"sbMode2", {475, 188, 41, 27}, Kind::SpeedButton},
    {"sbMode3", {515, 188, 41, 27}, Kind::SpeedButton},
    {"ImageCounter", {42, 254, 331, 59}, Kind::Image},
    {"ImageCounterThreshold", {397, 254, 157, 29}, Kind::Image},
    {"SpeedButton7", {396, 288, 51, 27}, Kind::SpeedButton},  // count limit ◄
    {"SpeedButton9", {447, 289, 58, 25}, Kind::SpeedButton},  // count limit ТОЧНО
    {"SpeedButton8", {505, 288, 51, 27}, Kind::SpeedButton},  // count limit ►
    {"ImageTimer", {42, 354, 331, 59}, Kind::Image},
    {"ImageDuration", {397, 354, 157, 29}, Kind::Image},
    {"SpeedButton10", {396, 388, 51, 27}, Kind::SpeedButton},  // count time ◄
    {"SpeedButton11", {447, 389, 58, 25}, Kind::SpeedButton},  // count time ТОЧНО
    {"SpeedButton12", {505, 388, 51, 27}, Kind::SpeedButton},  // count time ►
    {"ImageThreshold", {455, 454, 99, 29}, Kind::Image},
    {"TrackBar1", {42, 485, 391, 25}, Kind::TrackBar},
    {"SpeedButton13", {454, 488, 51, 27}, Kind::SpeedButton},  // threshold ◄
    {"SpeedButton14", {505, 488, 51, 27}, Kind::SpeedButton},  // threshold ►
    {"SpeedButton15", {41, 552, 51, 27}, Kind::SpeedButton},   // settings
    {"Image2", {114, 570, 259, 7}, Kind::Image},               // progress bar
    {"Edit1", {395, 552, 41, 26}, Kind::Edit},                 // ПОВТОР
    {"UpDown1", {436, 552, 17, 26}, Kind::UpDown},
    {"SpeedButton16", {454, 552, 51, 27}, Kind::SpeedButton},  // ПУСК
    {"SpeedButton17", {505, 552, 51, 27}, Kind::SpeedButton},  // СТОП
}};

// The place of the named control; an empty rectangle for a name the table does not hold.
constexpr QRect PlaceOf(std::string_view name) {
    for (const PanelControl& c : kControls)
        if (c.name == name) return c.place;
    return {};
}

}  // namespace pulsedesk::display::layout
