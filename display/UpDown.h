// UpDown: two stacked arrow buttons bound to an edit, like the classic up-down control. The
// arrows step the position inside its range (no wrap) and write it into the edit; a number
// typed into the edit becomes the position on Enter or when the edit loses focus, if it lies
// in the range; anything else is replaced by the position in force, so the edit always shows
// the value that is used.
#pragma once

#include <QLineEdit>
#include <QWidget>

namespace pulsedesk::display {

class UpDown : public QWidget {
    Q_OBJECT

  public:
    explicit UpDown(QWidget* parent = nullptr);

    void SetBuddy(QLineEdit* edit);
    void SetRange(int minimum, int maximum);
    int Minimum() const { return minimum_; }
    int Maximum() const { return maximum_; }
    int Position() const { return position_; }
    // Clamped to the range; the edit shows the new position. Emits no Click.
    void SetPosition(int position);

  signals:
    // An arrow was clicked and the position is already the new one.
    void Click(bool up);
    // A typed number was taken as the new position.
    void Typed();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    void TakeTypedPosition();
    void ShowInBuddy();

    QLineEdit* buddy_ = nullptr;
    int minimum_ = 0;
    int maximum_ = 100;
    int position_ = 0;
};

}  // namespace pulsedesk::display
