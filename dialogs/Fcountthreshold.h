// TForm2: the pop-up in which the operator types the device's count limit. It only converts
// and limits the value; the panel sends it.
#pragma once

#include <QDialog>
#include <cstdint>
#include <memory>

namespace Ui {
class TForm2;
}

namespace pulsedesk::dialogs {

class TForm2 : public QDialog {
    Q_OBJECT

  public:
    // The device's count-limit field has 24 bits.
    static constexpr std::uint32_t kMaxCountLimit = 0xFFFFFF;

    explicit TForm2(QWidget* owner);
    ~TForm2() override;

    // The value shown at the next showing; it stays the result until OK takes a valid one.
    void SetCountLimit(std::uint32_t limit) { value_ = limit; }
    std::uint32_t CountLimit() const { return value_; }

    // Colour of the form's panel, 0x00BBGGRR.
    void SetPanelColour(std::uint32_t colour);

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void BitBtn1Click();

    std::unique_ptr<Ui::TForm2> ui_;
    std::uint32_t value_ = 0;
};

}  // namespace pulsedesk::dialogs
