// TForm1: the pop-up in which the operator types the device's count time as hours, minutes
// and seconds. It only converts and limits the values; the panel sends them.
#pragma once

#include <QDialog>
#include <cstdint>
#include <memory>

namespace Ui {
class TForm1;
}

namespace pulsedesk::dialogs {

class TForm1 : public QDialog {
    Q_OBJECT

  public:
    explicit TForm1(QWidget* owner);
    ~TForm1() override;

    // The values shown at the next showing; they stay the result until OK takes valid ones.
    void SetCountTime(std::uint8_t hours, std::uint8_t minutes, std::uint8_t seconds);
    std::uint8_t Hours() const { return hours_; }
    std::uint8_t Minutes() const { return minutes_; }
    std::uint8_t Seconds() const { return seconds_; }

    // Colour of the form's panel, 0x00BBGGRR.
    void SetPanelColour(std::uint32_t colour);

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void BitBtn1Click();

    std::unique_ptr<Ui::TForm1> ui_;
    std::uint8_t hours_ = 0;
    std::uint8_t minutes_ = 0;
    std::uint8_t seconds_ = 0;
};

}  // namespace pulsedesk::dialogs
