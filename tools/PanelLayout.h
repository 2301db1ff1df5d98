// Places of the panel's controls for the artwork (client pixels), taken from the panel's
// layout table. The background picture frames and labels them; the glyph strips are painted at
// their sizes.
#pragma once

#include <QRect>

#include "display/PanelLayout.h"

namespace pulsedesk::tools::layout {

using display::layout::PlaceOf;

inline constexpr QRect kPanel{QPoint(0, 0), display::layout::kClientSize};

inline constexpr QRect kImageRecords = PlaceOf("ImageRecords");
inline constexpr QRect kMemo1 = PlaceOf("Memo1");
inline constexpr QRect kLabel1 = PlaceOf("Label1");
inline constexpr QRect kPeriodicModeButton = PlaceOf("sbMode2");
inline constexpr QRect kImageCounter = PlaceOf("ImageCounter");
inline constexpr QRect kImageCounterThreshold = PlaceOf("ImageCounterThreshold");
inline constexpr QRect kImageTimer = PlaceOf("ImageTimer");
inline constexpr QRect kImageDuration = PlaceOf("ImageDuration");
inline constexpr QRect kImageThreshold = PlaceOf("ImageThreshold");
inline constexpr QRect kTrackBar1 = PlaceOf("TrackBar1");
inline constexpr QRect kImage2 = PlaceOf("Image2");
inline constexpr QRect kEdit1 = PlaceOf("Edit1");
inline constexpr QRect kUpDown1 = PlaceOf("UpDown1");

inline constexpr QSize kWideButton = PlaceOf("SpeedButton5").size();  // SpeedButton5, 6
inline constexpr QSize kModeButton = PlaceOf("sbMode0").size();       // sbMode0 ... sbMode3
inline constexpr QSize kStepButton = PlaceOf("SpeedButton7").size();  // ◄ ►, ПУСК, СТОП, settings
inline constexpr QSize kExactButton = PlaceOf("SpeedButton9").size();  // ТОЧНО

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
