#pragma once

#include <QString>

class QObject;
class QWidget;

namespace fwb {

// Layout operations that size a dialog's controls to their current (translated) texts. All
// positions and sizes are in twips; a control inside a frame is placed relative to the frame.
// Widths never change: a text wraps inside the width it was given and its control grows
// downwards. Any step that cannot be done is skipped.

inline constexpr float kLineHeight = 195;     // per text line, and for an empty text
inline constexpr float kRegularMargin = 310;  // added to a measured regular text
inline constexpr float kBoldMargin = 350;     // added to a measured bold text instead
inline constexpr float kLengthDivisor = 1.8f; // the length in characters over this is added
inline constexpr float kBoxAllowance = 300;   // room for the box of an option or check box
inline constexpr float kSmallGap = 120;
inline constexpr float kLargeGap = 360;
inline constexpr float kFrameBottomMargin = 300;
inline constexpr float kWindowBottomMargin = 700;
// A window's height counted its title bar and borders where these layouts were designed
// (30 pixels at 96 dpi); Qt sizes a window by its inside, so that part is left out there.
inline constexpr float kWindowFrameHeight = 450;

// Sets the control's height to as many lines as its caption (or text) needs in its width.
void AutoSizeHeight(QWidget *control);
// Target top = reference top + reference height + the small gap (or the large one).
void PlaceBelow(QWidget *reference, QWidget *target, bool largeGap);
// Target top = bottom of the reference - target height.
void AlignBottom(QWidget *reference, QWidget *target);
// Target left = right edge of the reference - target width.
void AlignRight(QWidget *reference, QWidget *target);
// Top + height and left + width; 0 for no control.
float BottomOf(const QWidget *control);
float RightOf(const QWidget *control);
// Ends the frame (or window) a margin below its lowest control. One taller than the screen is
// reported in a message box and sized all the same.
void AutoSizeFrameHeight(QWidget *frame, QWidget *lowest);
void AutoSizeWindowHeight(QWidget *form, QWidget *lowest);

// A whole number is returned as it is; any other positive number is taken to six decimals
// and rounded up, so 1.25 gives 2 and 2.9999999 gives 4.
double RoundUpLines(double value);
// How often `search` occurs in `text`, matches allowed to overlap.
int CountOccurrences(const QString &text, const QString &search);
// Whether the control has a caption (labels, buttons, option and check boxes, frames,
// windows) and a value (option and check boxes).
bool HasCaption(const QObject *control);
bool HasValue(const QObject *control);
// The width of the widest line of `text` in the form's font, bold or not.
float TextWidth(const QWidget *form, const QString &text, bool bold);

} // namespace fwb
