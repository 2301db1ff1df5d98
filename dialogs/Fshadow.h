// TForm4: the shadow laid over the panel while one of its dialogs is open. A child widget of
// the panel filled with the shadow colour at the shadow opacity, because a translucent
// top-level window is not blended without a compositor.
#pragma once

#include <QColor>
#include <QRect>
#include <QWidget>
#include <cstdint>
#include <memory>

namespace Ui {
class TForm4;
}

namespace pulsedesk::dialogs {

class TForm4 : public QWidget {
    Q_OBJECT

  public:
    explicit TForm4(QWidget* owner);
    ~TForm4() override;

    // Covers clientArea (in the owner's coordinates) with colour (0x00BBGGRR) at opacity
    // (0 invisible, 255 opaque), above the owner's other children. Clicks on the covered
    // controls are swallowed; the keyboard focus stays where it is.
    void ShowOver(QRect clientArea, std::uint32_t colour, std::uint8_t opacity);
    void HideOverlay();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    std::unique_ptr<Ui::TForm4> ui_;
    QColor shadow_;
};

}  // namespace pulsedesk::dialogs
