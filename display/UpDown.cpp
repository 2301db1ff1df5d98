#include "display/UpDown.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyleOption>
#include <algorithm>

namespace pulsedesk::display {

UpDown::UpDown(QWidget* parent) : QWidget(parent) { setFocusPolicy(Qt::NoFocus); }

void UpDown::SetBuddy(QLineEdit* edit) {
    buddy_ = edit;
    connect(edit, &QLineEdit::editingFinished, this, &UpDown::TakeTypedPosition);
    ShowInBuddy();
}

void UpDown::SetRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = std::max(minimum, maximum);
    SetPosition(position_);
}

void UpDown::SetPosition(int position) {
    position_ = std::clamp(position, minimum_, maximum_);
    ShowInBuddy();
}

void UpDown::ShowInBuddy() {
    if (buddy_ != nullptr && buddy_->text() != QString::number(position_))
        buddy_->setText(QString::number(position_));
}

void UpDown::TakeTypedPosition() {
    bool ok = false;
    const int typed = buddy_->text().trimmed().toInt(&ok);
    if (!ok || typed < minimum_ || typed > maximum_) {
        ShowInBuddy();
        return;
    }
    const bool changed = typed != position_;
    SetPosition(typed);
    if (changed) emit Typed();
}

void UpDown::mousePressEvent(QMouseEvent* event) {
    if (!isEnabled() || event->button() != Qt::LeftButton) return;
    const bool up = event->position().y() < height() / 2.0;
    const int next = std::clamp(position_ + (up ? 1 : -1), minimum_, maximum_);
    if (next == position_) return;
    SetPosition(next);
    emit Click(up);
}

void UpDown::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOption option;
    option.initFrom(this);
    const int half = height() / 2;
    const QRect upper(0, 0, width(), half);
    const QRect lower(0, half, width(), height() - half);
    for (const auto& [box, arrow] : {std::pair{upper, QStyle::PE_IndicatorArrowUp},
                                     std::pair{lower, QStyle::PE_IndicatorArrowDown}}) {
        QStyleOptionButton button;
        button.initFrom(this);
        button.rect = box;
        style()->drawControl(QStyle::CE_PushButtonBevel, &button, &painter, this);
        option.rect = box.adjusted(3, 3, -3, -3);
        style()->drawPrimitive(arrow, &option, &painter, this);
    }
}

}  // namespace pulsedesk::display
