// TForm3: the device's option switches as check boxes, the box that restores the device's
// defaults, and the switch and base name of the special-format text file. The panel hands it
// the switches before each showing and takes them back afterwards; the form itself is private.
#pragma once

#include <QDialog>
#include <cstdint>
#include <memory>
#include <string>

#include "link/DeviceSwitches.h"

namespace Ui {
class TForm3;
}

namespace pulsedesk::dialogs {

// The device's option switches as the operator sees them: a sound is on when ticked.
using link::DeviceSwitches;

class TForm3 : public QDialog {
    Q_OBJECT

  public:
    explicit TForm3(QWidget* owner);
    ~TForm3() override;

    // The form's colour, 0x00BBGGRR.
    void SetDialogColour(std::uint32_t colour);

    // Shown at the next showing; the key-sound box can be switched only where the model has
    // that option.
    void SetSwitches(const DeviceSwitches& switches, bool keySoundSwitchable);
    DeviceSwitches Switches() const;
    // "Применить настройки по умолчанию" ticked in this showing.
    bool RestoreDefaultsChosen() const;

    // The special-format text file is written while its name can be edited; switching it acts
    // at once, whatever button then closes the dialog.
    bool SpecialTextEnabled() const;
    // The file's base name as Windows-1251 bytes.
    std::string SpecialTextName() const;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void CheckBox8Click(bool checked);

    std::unique_ptr<Ui::TForm3> ui_;
};

}  // namespace pulsedesk::dialogs
