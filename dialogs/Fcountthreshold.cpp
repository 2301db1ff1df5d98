#include "dialogs/Fcountthreshold.h"

#include <algorithm>

#include "dialogs/DialogLook.h"
#include "ui_Fcountthreshold.h"

namespace pulsedesk::dialogs {

TForm2::TForm2(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint), ui_(std::make_unique<Ui::TForm2>()) {
    ui_->setupUi(this);
    setFixedSize(size());
    SetPixelFont(*this, 11);
    SetPixelFont(*ui_->MaskEdit1, 16);
    DressAsOkCancel(*ui_->BitBtn1, *ui_->BitBtn2);
    SetPanelColour(kFormColour);
    connect(ui_->BitBtn1, &QPushButton::clicked, this, &TForm2::BitBtn1Click);
    connect(ui_->BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
}

TForm2::~TForm2() = default;

void TForm2::SetPanelColour(std::uint32_t colour) { SetBackgroundColour(*ui_->Panel1, colour); }

void TForm2::showEvent(QShowEvent* event) {
    ui_->MaskEdit1->setText(QString::number(value_));
    QDialog::showEvent(event);
}

// The panel sends the value's low 24 bits, so anything outside them is limited here rather
// than wrapped on the wire.
void TForm2::BitBtn1Click() {
    const auto typed = ReadIntegerEdit(*ui_->MaskEdit1);
    if (!typed) return;
    value_ = static_cast<std::uint32_t>(std::clamp<std::int64_t>(*typed, 0, kMaxCountLimit));
    accept();
}

}  // namespace pulsedesk::dialogs
