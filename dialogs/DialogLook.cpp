#include "dialogs/DialogLook.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>

#include "config/ConfigNumber.h"
#include "display/Digits.h"

namespace pulsedesk::dialogs {

namespace {

void ShowNotIntegerError(QLineEdit& edit) {
    auto* box =
        new QMessageBox(QMessageBox::Critical, QApplication::applicationDisplayName(),
                        QStringLiteral("'%1' is not a valid integer value").arg(edit.text()),
                        QMessageBox::Ok, edit.window());
    box->setObjectName(QStringLiteral("IntegerTextError"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();  // window-modal: the dialog beneath stays open for the correction
    edit.setFocus();
    edit.selectAll();
}

}  // namespace

void SetBackgroundColour(QWidget& widget, std::uint32_t colour) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, QColor::fromRgb(display::ToQRgb(colour)));
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
}

void SetPixelFont(QWidget& widget, int pixels) {
    QFont font = widget.font();
    font.setPixelSize(pixels);
    widget.setFont(font);
}

void DressAsOkCancel(QPushButton& ok, QPushButton& cancel) {
    ok.setIcon(ok.style()->standardIcon(QStyle::SP_DialogOkButton));
    cancel.setIcon(cancel.style()->standardIcon(QStyle::SP_DialogCancelButton));
}

std::optional<std::int32_t> ReadIntegerEdit(QLineEdit& edit) {
    std::int32_t value = 0;
    if (config::ParseIntegerText(edit.text().toStdString(), value)) return value;
    ShowNotIntegerError(edit);
    return std::nullopt;
}

}  // namespace pulsedesk::dialogs
