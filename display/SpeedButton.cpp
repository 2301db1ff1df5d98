#include "display/SpeedButton.h"

#include <QPainter>

#include "display/Artwork.h"

namespace pulsedesk::display {

SpeedButton::SpeedButton(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::NoFocus);
    connect(this, &QAbstractButton::toggled, this, [this](bool held) {
        if (held) RaiseGroupSiblings();
    });
}

void SpeedButton::SetGlyphStrip(const QPixmap& strip) {
    strip_ = strip;
    updateGeometry();
    update();
}

void SpeedButton::LoadGlyphStrip(std::string_view controlName) {
    SetGlyphStrip(QPixmap::fromImage(LoadArtwork(GlyphStripName(controlName))));
}

void SpeedButton::SetGroupIndex(int group) {
    groupIndex_ = group;
    setCheckable(group != 0);
}

SpeedButton::GlyphState SpeedButton::CurrentGlyphState() const {
    if (!isEnabled()) return GlyphState::Disabled;
    if (isDown()) return GlyphState::Down;
    if (isChecked()) return GlyphState::Held;
    return GlyphState::Up;
}

QSize SpeedButton::sizeHint() const {
    if (strip_.isNull()) return {23, 22};
    return {strip_.width() / kGlyphCount, strip_.height()};
}

void SpeedButton::paintEvent(QPaintEvent*) {
    if (strip_.isNull()) return;
    const int width = strip_.width() / kGlyphCount;
    const QRect picture(static_cast<int>(CurrentGlyphState()) * width, 0, width, strip_.height());
    QPainter painter(this);
    painter.drawPixmap(QPoint(0, 0), strip_, picture);
}

// A held group button stays held when clicked again; only a sibling raises it.
void SpeedButton::nextCheckState() {
    if (groupIndex_ != 0) {
        setChecked(true);
    } else {
        QAbstractButton::nextCheckState();
    }
}

void SpeedButton::RaiseGroupSiblings() {
    if (groupIndex_ == 0 || parentWidget() == nullptr) return;
    const auto siblings = parentWidget()->findChildren<SpeedButton*>(Qt::FindDirectChildrenOnly);
    for (SpeedButton* sibling : siblings) {
        if (sibling != this && sibling->groupIndex_ == groupIndex_) sibling->setChecked(false);
    }
}

}  // namespace pulsedesk::display
