#include "dialogs/Fshadow.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include "display/Digits.h"
#include "ui_Fshadow.h"

namespace pulsedesk::dialogs {

TForm4::TForm4(QWidget* owner) : QWidget(owner), ui_(std::make_unique<Ui::TForm4>()) {
    ui_->setupUi(this);
    setFocusPolicy(Qt::NoFocus);
    hide();
}

TForm4::~TForm4() = default;

void TForm4::ShowOver(QRect clientArea, std::uint32_t colour, std::uint8_t opacity) {
    shadow_ = QColor::fromRgb(display::ToQRgb(colour));
    shadow_.setAlpha(opacity);
    setGeometry(clientArea);
    raise();
    show();
    update();
}

void TForm4::HideOverlay() { hide(); }

void TForm4::paintEvent(QPaintEvent*) { QPainter(this).fillRect(rect(), shadow_); }

// The shadow stands between the operator and the panel: nothing beneath it is clicked.
void TForm4::mousePressEvent(QMouseEvent* event) { event->accept(); }
void TForm4::mouseReleaseEvent(QMouseEvent* event) { event->accept(); }
void TForm4::mouseDoubleClickEvent(QMouseEvent* event) { event->accept(); }
void TForm4::wheelEvent(QWheelEvent* event) { event->accept(); }

}  // namespace pulsedesk::dialogs
