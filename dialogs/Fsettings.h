// TForm3: the device's option switches as check boxes, the box that restores the device's
// defaults, and the switch and base name of the special-format text file. The panel ticks the
// boxes from the device before each showing and turns them into commands afterwards; the
// controls are public, under the form's names.
#pragma once

#include <QDialog>
#include <cstdint>
#include <string>

#include "ui_Fsettings.h"

namespace pulsedesk::dialogs {

class TForm3 : public QDialog, public Ui::TForm3 {
    Q_OBJECT

  public:
    explicit TForm3(QWidget* owner);

    // The form's colour, 0x00BBGGRR.
    void SetDialogColour(std::uint32_t colour);

    // The special-format text file is written while its name can be edited; switching it acts
    // at once, whatever button then closes the dialog.
    bool SpecialTextEnabled() const;
    // The file's base name as Windows-1251 bytes.
    std::string SpecialTextName() const;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void CheckBox8Click(bool checked);
};

}  // namespace pulsedesk::dialogs
