// PanelIndicators: the panel's six numeric indicators and its progress bar, drawn from the seven
// digit sprite sheets. Bright draws with a lit sheet on black; not bright draws the same value
// grey on grey, so the indicator looks switched off but stays legible.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "display/Digits.h"
#include "display/IndicatorImage.h"

namespace pulsedesk::display {

// The image controls the indicators draw into; they belong to the panel.
struct IndicatorImages {
    IndicatorImage* counter;         // ImageCounter
    IndicatorImage* countLimit;      // ImageCounterThreshold
    IndicatorImage* timer;           // ImageTimer
    IndicatorImage* countTime;       // ImageDuration
    IndicatorImage* threshold;       // ImageThreshold
    IndicatorImage* recordNumber;    // ImageRecords
    IndicatorImage* progress;        // Image2
};

class PanelIndicators {
  public:
    // Loads the seven sheets in table order; throws when one is not embedded.
    explicit PanelIndicators(IndicatorImages images);

    // The counter and the count limit skip a bright value that they drew bright last time.
    void ShowCounter(std::int32_t value, bool bright);
    void ShowCountLimit(std::int32_t value, bool bright);
    // hours, minutes, seconds, hundredths; in device mode 3 with no whole minute the timer
    // reads 5EC-ss.hh.
    void ShowTimer(const std::array<std::uint8_t, 4>& time, std::uint8_t deviceMode, bool bright);
    void ShowCountTime(std::uint8_t hours, std::uint8_t minutes, std::uint8_t seconds, bool bright);
    void ShowThreshold(std::int32_t millivolts, bool bright);
    void ShowRecordNumber(std::int32_t number, bool bright);
    void DrawProgress(std::uint32_t percent);

  private:
    DigitSheet& Sheet(SheetIndex lit, SheetIndex unlit, bool bright);
    void DrawNumber(IndicatorImage* image, DigitSheet& sheet, std::int32_t value,
                    const char* format, bool bright);
    void DrawCoded(IndicatorImage* image, DigitSheet& sheet, const std::uint8_t* data,
                   const char* format, bool bright);
    static bool SkipUnchanged(std::int32_t& lastDrawn, std::int32_t value, bool bright);

    IndicatorImages images_;
    std::array<std::unique_ptr<DigitSheet>, SheetCount> sheets_;
    std::int32_t lastCounter_ = -1;
    std::int32_t lastCountLimit_ = -1;
};

}  // namespace pulsedesk::display
