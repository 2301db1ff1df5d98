#include "dialogs/Fsettings.h"

#include "config/Cp1251.h"
#include "dialogs/DialogLook.h"

namespace pulsedesk::dialogs {

namespace {

const QColor kMaroon(0x80, 0x00, 0x00);

}  // namespace

TForm3::TForm3(QWidget* owner) : QDialog(owner) {
    setupUi(this);
    setFixedSize(size());
    SetPixelFont(*this, 11);
    QPalette maroonText = CheckBox1->palette();
    maroonText.setColor(QPalette::WindowText, kMaroon);
    CheckBox1->setPalette(maroonText);
    DressAsOkCancel(*BitBtn1, *BitBtn2);
    SetDialogColour(kFormColour);
    connect(CheckBox8, &QCheckBox::toggled, this, &TForm3::CheckBox8Click);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
}

void TForm3::SetDialogColour(std::uint32_t colour) { SetBackgroundColour(*this, colour); }

bool TForm3::SpecialTextEnabled() const { return specFileName->isEnabled(); }

std::string TForm3::SpecialTextName() const {
    return config::Utf8ToCp1251(specFileName->text().toStdString());
}

// Restoring the device's defaults has to be chosen anew in every showing.
void TForm3::showEvent(QShowEvent* event) {
    CheckBox1->setChecked(false);
    QDialog::showEvent(event);
}

void TForm3::CheckBox8Click(bool checked) {
    specFileName->setEnabled(checked);
    specFileName->setText(checked ? QString() : QStringLiteral("Имя файла"));
}

}  // namespace pulsedesk::dialogs
