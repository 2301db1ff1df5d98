#include "dialogs/Fsettings.h"

#include "config/Cp1251.h"
#include "dialogs/DialogLook.h"
#include "ui_Fsettings.h"

namespace pulsedesk::dialogs {

namespace {

const QColor kMaroon(0x80, 0x00, 0x00);

}  // namespace

TForm3::TForm3(QWidget* owner) : QDialog(owner), ui_(std::make_unique<Ui::TForm3>()) {
    ui_->setupUi(this);
    setFixedSize(size());
    SetPixelFont(*this, 11);
    QPalette maroonText = ui_->CheckBox1->palette();
    maroonText.setColor(QPalette::WindowText, kMaroon);
    ui_->CheckBox1->setPalette(maroonText);
    DressAsOkCancel(*ui_->BitBtn1, *ui_->BitBtn2);
    SetDialogColour(kFormColour);
    connect(ui_->CheckBox8, &QCheckBox::toggled, this, &TForm3::CheckBox8Click);
    connect(ui_->BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui_->BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
}

TForm3::~TForm3() = default;

void TForm3::SetSwitches(const DeviceSwitches& s, bool keySoundSwitchable) {
    ui_->CheckBox7->setEnabled(keySoundSwitchable);
    ui_->CheckBox2->setChecked(s.signalSound);
    ui_->CheckBox3->setChecked(s.endSound);
    ui_->CheckBox7->setChecked(s.keySound);
    ui_->CheckBox4->setChecked(s.invertPulses);
    ui_->CheckBox5->setChecked(s.invertSignals);
    ui_->CheckBox6->setChecked(s.highLevelSignals);
}

DeviceSwitches TForm3::Switches() const {
    return {ui_->CheckBox2->isChecked(), ui_->CheckBox3->isChecked(), ui_->CheckBox7->isChecked(),
            ui_->CheckBox4->isChecked(), ui_->CheckBox5->isChecked(), ui_->CheckBox6->isChecked()};
}

bool TForm3::RestoreDefaultsChosen() const { return ui_->CheckBox1->isChecked(); }

void TForm3::SetDialogColour(std::uint32_t colour) { SetBackgroundColour(*this, colour); }

bool TForm3::SpecialTextEnabled() const { return ui_->specFileName->isEnabled(); }

std::string TForm3::SpecialTextName() const {
    return config::Utf8ToCp1251(ui_->specFileName->text().toStdString());
}

// Restoring the device's defaults has to be chosen anew in every showing.
void TForm3::showEvent(QShowEvent* event) {
    ui_->CheckBox1->setChecked(false);
    QDialog::showEvent(event);
}

void TForm3::CheckBox8Click(bool checked) {
    ui_->specFileName->setEnabled(checked);
    ui_->specFileName->setText(checked ? QString() : QStringLiteral("Имя файла"));
}

}  // namespace pulsedesk::dialogs
