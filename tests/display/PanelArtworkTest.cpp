#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QPainter>
#include <map>
#include <string>

#include "QtTestApp.h"
#include "display/Artwork.h"
#include "display/Digits.h"
#include "display/PanelLayout.h"
#include "tools/ArtworkSet.h"

namespace pulsedesk::display {
namespace {

using layout::Kind;
using layout::PanelControl;
constexpr auto& kControls = layout::kControls;

// Caption text is light on the darker plate.
bool IsCaptionInk(QRgb pixel) { return qGray(pixel) > 190; }

int CaptionInkIn(const QImage& image, QRect box) {
    int count = 0;
    for (int y = box.top(); y <= box.bottom(); ++y) {
        for (int x = box.left(); x <= box.right(); ++x) count += IsCaptionInk(image.pixel(x, y));
    }
    return count;
}

class PanelArtworkTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { testing::EnsureQtApp(); }
    QImage background_ = LoadArtwork(kBackgroundName);
};

TEST_F(PanelArtworkTest, RegeneratingGivesTheCommittedAndEmbeddedBytes) {
    const auto files = tools::RenderArtworkSet();
    ASSERT_EQ(files.size(), 7u + 1u + 12u);
    std::map<QString, QByteArray> rendered;
    for (const auto& file : files) {
        QFile committed(QStringLiteral(PULSEDESK_SOURCE_DIR "/resources/") + file.path);
        ASSERT_TRUE(committed.open(QIODevice::ReadOnly)) << file.path.toStdString();
        EXPECT_TRUE(committed.readAll() == file.bytes)
            << file.path.toStdString() << " differs: run the artwork target and commit";
        rendered[file.path] = file.bytes;
    }
    for (const SheetEntry& entry : kSheetTable) {
        QFile embedded(ArtworkPath(entry.resourceName));
        ASSERT_TRUE(embedded.open(QIODevice::ReadOnly));
        EXPECT_TRUE(embedded.readAll() ==
                    rendered[QStringLiteral("digits/%1.bmp").arg(entry.resourceName)]);
    }
    QFile panel(ArtworkPath(kBackgroundName));
    ASSERT_TRUE(panel.open(QIODevice::ReadOnly));
    EXPECT_TRUE(panel.readAll() == rendered[QStringLiteral("panel/Image1.png")]);
}

TEST_F(PanelArtworkTest, BackgroundIsThePanelSize) {
    EXPECT_EQ(background_.size(), QSize(600, 600));
}

TEST_F(PanelArtworkTest, NoCaptionLiesUnderAControl) {
    for (const PanelControl& control : kControls) {
        EXPECT_EQ(CaptionInkIn(background_, control.place), 0) << control.name;
    }
}

TEST_F(PanelArtworkTest, IndicatorWindowsAreBlackInsideARecess) {
    for (const PanelControl& control : kControls) {
        if (control.kind != Kind::Image) continue;
        const QRect place = control.place;
        for (const QPoint corner : {place.topLeft(), place.bottomRight(), place.center()}) {
            EXPECT_EQ(background_.pixel(corner), qRgb(0, 0, 0)) << control.name;
        }
        // The rim just outside is dark but not the window itself.
        EXPECT_LT(qGray(background_.pixel(place.topLeft() - QPoint(1, 1))), 40) << control.name;
    }
}

TEST_F(PanelArtworkTest, CaptionsStandOverTheirControls) {
    // Text strips just above the controls they name (and the title band).
    const std::pair<const char*, QRect> captions[] = {
        {"title", {120, 5, 360, 30}},
        {"КОЛИЧЕСТВО ИМПУЛЬСОВ", {42, 238, 331, 14}},
        {"ГРАНИЦА СЧЕТА", {397, 238, 157, 14}},
        {"ЧАСЫ", {55, 338, 76, 14}},
        {"МИНУТЫ", {169, 338, 76, 14}},
        {"СЕКУНДЫ", {283, 338, 76, 14}},
        {"ВРЕМЯ СЧЕТА", {397, 338, 157, 14}},
        {"ПОРОГ(В)", {455, 438, 99, 14}},
        {"scale", {42, 463, 391, 20}},
        {"ПЕРИОДИЧЕСКИЙ АВТОЗАПУСК", {440, 164, 110, 16}},
        {"ПОВТОР", {395, 536, 58, 14}},
        {"0%", {114, 553, 20, 14}},
        {"ИНДИКАТОР ВЫПОЛНЕНИЯ", {180, 553, 120, 14}},
        {"100%", {343, 553, 30, 14}},
    };
    for (const auto& [name, box] : captions) {
        EXPECT_GT(CaptionInkIn(background_, box), 15) << name;
    }
}

TEST_F(PanelArtworkTest, EverySpeedButtonHasAFourPictureStripOfItsSize) {
    for (const PanelControl& control : kControls) {
        if (control.kind != Kind::SpeedButton) continue;
        const QImage strip = LoadArtwork(GlyphStripName(control.name));
        EXPECT_EQ(strip.size(), QSize(4 * control.place.width(), control.place.height()))
            << control.name;
        // The four pictures differ from one another.
        const int w = control.place.width();
        for (int a = 0; a < 4; ++a) {
            for (int b = a + 1; b < 4; ++b) {
                EXPECT_NE(strip.copy(a * w, 0, w, strip.height()),
                          strip.copy(b * w, 0, w, strip.height()))
                    << control.name << " pictures " << a << " and " << b;
            }
        }
    }
}

// Writes every sheet, the background and a mock-up of the lit panel for a person to look at.
TEST_F(PanelArtworkTest, WritesPreviewPictures) {
    const QDir folder(QStringLiteral(PULSEDESK_ARTWORK_PREVIEW_DIR));
    ASSERT_TRUE(folder.mkpath("."));
    for (const SheetEntry& entry : kSheetTable) {
        ASSERT_TRUE(LoadArtwork(entry.resourceName)
                        .save(folder.filePath(QStringLiteral("%1.png").arg(entry.resourceName))));
    }
    ASSERT_TRUE(background_.save(folder.filePath("Image1.png")));

    QImage panel = background_.convertToFormat(QImage::Format_RGB32);
    QPainter painter(&panel);
    for (const PanelControl& control : kControls) {
        if (control.kind != Kind::SpeedButton) continue;
        const QImage strip = LoadArtwork(GlyphStripName(control.name));
        const int picture = std::string(control.name) == "sbMode1" ? 3 : 0;
        painter.drawImage(control.place.topLeft(), strip,
                          QRect(picture * control.place.width(), 0, control.place.width(),
                                control.place.height()));
    }
    auto draw = [&](SheetIndex index, QRect place, const char* format, auto&& paint) {
        DigitSheet sheet(index);
        QImage image(place.size(), QImage::Format_RGB32);
        sheet.SetFormatText(format);
        paint(sheet, image);
        painter.drawImage(place.topLeft(), image);
    };
    const std::uint8_t clock[] = {0x00, 0x01, 0x25};
    const std::uint8_t preset[] = {0x00, 0x05, 0x00};
    const std::uint8_t volts[] = {0x01, 0x25};
    draw(BigGreenDigs, {42, 254, 331, 59}, "00000000",
         [](auto& s, auto& i) { s.DrawNumber(1234, i, kLitBackgroundColour); });
    draw(MiddleGreyDigs, {397, 254, 157, 29}, "00000000",
         [](auto& s, auto& i) { s.DrawNumber(10000, i, kUnlitBackgroundColour); });
    draw(BigBlueDigs, {42, 354, 331, 59}, "00:00:00",
         [&](auto& s, auto& i) { s.DrawCodedText(clock, i, kLitBackgroundColour); });
    draw(MiddleBlueDigs, {397, 354, 157, 29}, "00:00:00",
         [&](auto& s, auto& i) { s.DrawCodedText(preset, i, kLitBackgroundColour); });
    draw(MiddleBlueDigs, {455, 454, 99, 29}, ":0.000",
         [&](auto& s, auto& i) { s.DrawCodedText(volts, i, kLitBackgroundColour); });
    draw(SmallGreenDigs, {255, 51, 89, 21}, "0000000",
         [](auto& s, auto& i) { s.DrawNumber(17, i, kLitBackgroundColour); });
    painter.fillRect(QRect(114, 570, 259 * 40 / 100, 7), QColor(255, 255, 0));
    painter.fillRect(QRect(11, 87, 578, 64), QColor(0, 128, 128));
    painter.fillRect(QRect(43, 192, 325, 19), Qt::black);
    painter.end();
    ASSERT_TRUE(panel.save(folder.filePath("PanelPreview.png")));
    EXPECT_EQ(QImage(folder.filePath("PanelPreview.png")).size(), QSize(600, 600));
}

}  // namespace
}  // namespace pulsedesk::display
