#include "display/PanelIndicators.h"

#include <QPainter>
#include <cstdlib>

namespace pulsedesk::display {

namespace {

std::uint32_t BackgroundOf(bool bright) {
    return bright ? kLitBackgroundColour : kUnlitBackgroundColour;
}

}  // namespace

PanelIndicators::PanelIndicators(IndicatorImages images) : images_(images) {
    for (int i = 0; i < SheetCount; ++i) sheets_[i] = std::make_unique<DigitSheet>(SheetIndex(i));
}

DigitSheet& PanelIndicators::Sheet(SheetIndex lit, SheetIndex unlit, bool bright) {
    return *sheets_[bright ? lit : unlit];
}

bool PanelIndicators::SkipUnchanged(std::int32_t& lastDrawn, std::int32_t value, bool bright) {
    if (bright && value == lastDrawn) return true;
    lastDrawn = bright ? value : -1;
    return false;
}

void PanelIndicators::DrawNumber(IndicatorImage* image, DigitSheet& sheet,
                                 std::int32_t value, const char* format, bool bright) {
    // The sheets are shared by several indicators, so the format is set before every drawing.
    sheet.SetFormatText(format);
    sheet.DrawNumber(value, image->Bitmap(), BackgroundOf(bright));
    image->update();
}

void PanelIndicators::DrawCoded(IndicatorImage* image, DigitSheet& sheet,
                                const std::uint8_t* data, const char* format, bool bright) {
    sheet.SetFormatText(format);
    sheet.DrawCodedText(data, image->Bitmap(), BackgroundOf(bright));
    image->update();
}

void PanelIndicators::ShowCounter(std::int32_t value, bool bright) {
    if (SkipUnchanged(lastCounter_, value, bright)) return;
    DrawNumber(images_.counter, Sheet(BigGreenDigs, BigGreyDigs, bright), value, "00000000",
               bright);
}

void PanelIndicators::ShowCountLimit(std::int32_t value, bool bright) {
    if (SkipUnchanged(lastCountLimit_, value, bright)) return;
    DrawNumber(images_.countLimit, Sheet(MiddleBlueDigs, MiddleGreyDigs, bright), value,
               "00000000", bright);
}

void PanelIndicators::ShowTimer(const std::array<std::uint8_t, 4>& time, std::uint8_t deviceMode,
                                bool bright) {
    DigitSheet& sheet = Sheet(BigBlueDigs, BigGreyDigs, bright);
    // The hours are not looked at: in mode 3 a time of 1:00:30 shows as seconds.
    if (deviceMode == 3 && time[1] == 0) {
        const std::uint8_t data[] = {ToBcd(time[2]), ToBcd(time[3])};
        DrawCoded(images_.timer, sheet, data, "SEC:00.00", bright);
        return;
    }
    const std::uint8_t data[] = {ToBcd(time[0]), ToBcd(time[1]), ToBcd(time[2])};
    DrawCoded(images_.timer, sheet, data, "00:00:00", bright);
}

void PanelIndicators::ShowCountTime(std::uint8_t hours, std::uint8_t minutes,
                                    std::uint8_t seconds, bool bright) {
    const std::uint8_t data[] = {ToBcd(hours), ToBcd(minutes), ToBcd(seconds)};
    DrawCoded(images_.countTime, Sheet(MiddleBlueDigs, MiddleGreyDigs, bright), data, "00:00:00",
              bright);
}

void PanelIndicators::ShowThreshold(std::int32_t millivolts, bool bright) {
    const std::int32_t a = std::abs(millivolts % 10000);
    const std::uint8_t data[] = {ToBcd(static_cast<std::uint8_t>(a / 100)),
                                 ToBcd(static_cast<std::uint8_t>(a % 100))};
    DrawCoded(images_.threshold, Sheet(MiddleBlueDigs, MiddleGreyDigs, bright), data,
              millivolts >= 0 ? "0.000" : ":0.000", bright);
}

void PanelIndicators::ShowRecordNumber(std::int32_t number, bool bright) {
    DrawNumber(images_.recordNumber, Sheet(SmallGreenDigs, SmallGreyDigs, bright), number,
               "0000000", bright);
}

void PanelIndicators::DrawProgress(std::uint32_t percent) {
    QImage& bar = images_.progress->Bitmap();
    bar.fill(Qt::black);
    const std::uint32_t p = percent > 98 ? 100 : percent;
    const int width = static_cast<int>(static_cast<std::uint32_t>(bar.width()) * p / 100);
    QPainter(&bar).fillRect(0, 0, width, bar.height(), QColor(255, 255, 0));
    images_.progress->repaint();
}

}  // namespace pulsedesk::display
