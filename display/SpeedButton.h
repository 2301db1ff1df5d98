// SpeedButton: a flat button painted entirely from a glyph strip of four pictures side by side
// (up, disabled, down while pressed, held). Buttons of one parent that share a non-zero group
// index form an exclusive group: exactly one is held, pressing another raises the rest.
#pragma once

#include <QAbstractButton>
#include <QPixmap>
#include <string_view>

namespace pulsedesk::display {

class SpeedButton : public QAbstractButton {
    Q_OBJECT

  public:
    enum class GlyphState { Up = 0, Disabled = 1, Down = 2, Held = 3 };
    static constexpr int kGlyphCount = 4;

    explicit SpeedButton(QWidget* parent = nullptr);

    // The strip's width is divided into four equal pictures.
    void SetGlyphStrip(const QPixmap& strip);
    // Loads the embedded strip of the named control (see GlyphStripName); throws when missing.
    void LoadGlyphStrip(std::string_view controlName);

    // 0: an ordinary push button. Otherwise the button stays held once pressed, and holding it
    // (by a click or by setChecked(true)) raises the held sibling of the same group.
    void SetGroupIndex(int group);
    int GroupIndex() const { return groupIndex_; }

    GlyphState CurrentGlyphState() const;
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void nextCheckState() override;

  private:
    void RaiseGroupSiblings();

    QPixmap strip_;
    int groupIndex_ = 0;
};

}  // namespace pulsedesk::display
