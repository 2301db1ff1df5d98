// What the bench's dialogs share: the operator's dialog colour, fonts sized in pixels for their
// fixed layouts, the standard OK and Cancel buttons, and the reading of a typed integer.
#pragma once

#include <cstdint>
#include <optional>

class QLineEdit;
class QPushButton;
class QWidget;

namespace pulsedesk::dialogs {

// The dialogs' own colour until the panel gives them the configured one (0x00BBGGRR).
inline constexpr std::uint32_t kFormColour = 0xA0A020;

// Fills the widget's background with colour (0x00BBGGRR); labels, check boxes and group
// frames on it let it show through.
void SetBackgroundColour(QWidget& widget, std::uint32_t colour);

// The widget's font at a height in pixels, so that captions fit the fixed layout whatever the
// screen's resolution.
void SetPixelFont(QWidget& widget, int pixels);

// Gives the buttons the standard OK and Cancel pictures.
void DressAsOkCancel(QPushButton& ok, QPushButton& cancel);

// The edit's text read as integer text (decimal, or hexadecimal after "$" or "0x"). Otherwise
// tells the operator "'<text>' is not a valid integer value" in a box over the dialog, which
// stays open, puts the focus back into the edit and returns nothing.
std::optional<std::int32_t> ReadIntegerEdit(QLineEdit& edit);

}  // namespace pulsedesk::dialogs
