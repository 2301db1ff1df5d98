#include "dialogs/Fcounttimer.h"

#include "dialogs/DialogLook.h"
#include "ui_Fcounttimer.h"

namespace pulsedesk::dialogs {

namespace {

// A typed value keeps its low 8 bits, as the device's field holds one byte.
std::uint8_t LimitHours(std::int32_t typed) {
    const auto hours = static_cast<std::uint8_t>(typed);
    return hours > 99 ? 99 : hours;
}

// Values up to 99 pass (the device accepts them); only a larger one is replaced, by 59.
std::uint8_t LimitMinutesOrSeconds(std::int32_t typed) {
    const auto value = static_cast<std::uint8_t>(typed);
    return value > 99 ? 59 : value;
}

}  // namespace

TForm1::TForm1(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint), ui_(std::make_unique<Ui::TForm1>()) {
    ui_->setupUi(this);
    setFixedSize(size());
    SetPixelFont(*this, 11);
    for (QLineEdit* edit : {ui_->MaskEdit1, ui_->MaskEdit2, ui_->MaskEdit3})
        SetPixelFont(*edit, 16);
    DressAsOkCancel(*ui_->BitBtn1, *ui_->BitBtn2);
    SetPanelColour(kFormColour);
    connect(ui_->BitBtn1, &QPushButton::clicked, this, &TForm1::BitBtn1Click);
    connect(ui_->BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
}

TForm1::~TForm1() = default;

void TForm1::SetCountTime(std::uint8_t hours, std::uint8_t minutes, std::uint8_t seconds) {
    hours_ = hours;
    minutes_ = minutes;
    seconds_ = seconds;
}

void TForm1::SetPanelColour(std::uint32_t colour) { SetBackgroundColour(*ui_->Panel1, colour); }

void TForm1::showEvent(QShowEvent* event) {
    ui_->MaskEdit1->setText(QString::number(hours_));
    ui_->MaskEdit2->setText(QString::number(minutes_));
    ui_->MaskEdit3->setText(QString::number(seconds_));
    QDialog::showEvent(event);
}

// Nothing is taken over unless all three edits hold integers, so the device never gets a
// half-converted or unlimited time.
void TForm1::BitBtn1Click() {
    const auto hours = ReadIntegerEdit(*ui_->MaskEdit1);
    if (!hours) return;
    const auto minutes = ReadIntegerEdit(*ui_->MaskEdit2);
    if (!minutes) return;
    const auto seconds = ReadIntegerEdit(*ui_->MaskEdit3);
    if (!seconds) return;
    SetCountTime(LimitHours(*hours), LimitMinutesOrSeconds(*minutes),
                 LimitMinutesOrSeconds(*seconds));
    accept();
}

}  // namespace pulsedesk::dialogs
