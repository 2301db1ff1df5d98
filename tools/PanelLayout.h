// Places of the panel's controls (client pixels), as the panel form lays them out. The
// background picture frames and labels them; the glyph strips are painted at their sizes.
#pragma once

#include <QRect>

namespace pulsedesk::tools::layout {

inline constexpr QRect kPanel{0, 0, 600, 600};

inline constexpr QRect kSpeedButton5{38, 48, 194, 27};  // СОЗДАТЬ НОВУЮ ЗАПИСЬ
inline constexpr QRect kImageRecords{255, 51, 89, 21};
inline constexpr QRect kSpeedButton6{367, 48, 194, 27};  // НАЧАТЬ ИССЛЕДОВАНИЕ
inline constexpr QRect kMemo1{11, 87, 578, 64};
inline constexpr QRect kLabel1{43, 192, 325, 19};
inline constexpr QRect kModeButtons[4] = {
    {395, 188, 41, 27}, {435, 188, 41, 27}, {475, 188, 41, 27}, {515, 188, 41, 27}};
inline constexpr QRect kImageCounter{42, 254, 331, 59};
inline constexpr QRect kImageCounterThreshold{397, 254, 157, 29};
inline constexpr QRect kImageTimer{42, 354, 331, 59};
inline constexpr QRect kImageDuration{397, 354, 157, 29};
inline constexpr QRect kImageThreshold{455, 454, 99, 29};
inline constexpr QRect kTrackBar1{42, 485, 391, 25};
inline constexpr QRect kImage2{114, 570, 259, 7};
inline constexpr QRect kEdit1{395, 552, 41, 26};
inline constexpr QRect kUpDown1{436, 552, 17, 26};

inline constexpr QSize kWideButton{194, 27};  // SpeedButton5, SpeedButton6
inline constexpr QSize kModeButton{41, 27};   // sbMode0 ... sbMode3
inline constexpr QSize kStepButton{51, 27};   // ◄ ►, ПУСК, СТОП, settings
inline constexpr QSize kExactButton{58, 25};  // ТОЧНО

// The track bar's thumb is 15 pixels wide, so its centre travels 7.5 pixels inside each end.
inline constexpr double kTrackThumbHalf = 7.5;
inline constexpr int kTrackMinimum = -4600;
inline constexpr int kTrackMaximum = 4600;

// Group frames, top to bottom.
inline constexpr int kFrameLeft = 30;
inline constexpr int kFrameRight = 570;
inline constexpr QRect kModeFrame{kFrameLeft, 160, kFrameRight - kFrameLeft, 62};
inline constexpr QRect kCounterFrame{kFrameLeft, 228, kFrameRight - kFrameLeft, 94};
inline constexpr QRect kTimerFrame{kFrameLeft, 328, kFrameRight - kFrameLeft, 94};
inline constexpr QRect kThresholdFrame{kFrameLeft, 428, kFrameRight - kFrameLeft, 94};
inline constexpr QRect kControlFrame{kFrameLeft, 528, kFrameRight - kFrameLeft, 64};

}  // namespace pulsedesk::tools::layout
