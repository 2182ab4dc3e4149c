// Look shared by every window: the Japanese Gothic font, white background, fixed borders.
#pragma once

class QColor;
class QIcon;
class QKeyEvent;
class QPushButton;
class QRect;
class QWidget;

// The icon of every window of the program, 16 x 16 in 16 colours.
QIcon ProgramIcon();

// The program's font family, "ＭＳ ゴシック", is mapped to an installed Japanese Gothic face
// when it is absent, so the forms can name it as designed.
void InstallGothicSubstitution();

// The program's font ("ＭＳ ゴシック", 13 pixels unless said otherwise) and background colour.
void ApplyFormLook(QWidget* window, const QColor& background, int fontPixels = 13);

// Sets a control's font to the program's Gothic face at the given pixel height.
void SetGothicFont(QWidget* widget, int pixels);

// A fixed single border with system menu and minimise box, no maximise box; the client area
// keeps the size the form was designed with.
void MakeFixedSingleBorder(QWidget* window);

// Moves a window that has not been shown yet to its designed place (left, top of its frame).
void PlaceWindow(QWidget* window, int left, int top);

// Where a window whose outer rectangle is frame goes so as to lie in area: where it is when
// it fits; otherwise moved in, a resizable one first made no larger than area. One still
// larger than area keeps its top left corner, and so its title bar, inside.
QRect FitIntoArea(const QRect& frame, const QRect& area, bool resizable);

// Fits a window placed from the layout file into the available area of the screen it lands
// on (a smaller screen, a higher scaling): its place at once, as far as it is known without
// the frame, and once the window manager has framed it on its next show, its place and, if
// it is resizable, its size, frame included. A window that fits stays exactly where it is.
void KeepOnScreen(QWidget* window);

// Shows a modeless window, or brings it to the front when it is shown already.
void BringToFront(QWidget* window);

// Turns the input method (Japanese conversion) off for a box that takes numbers or a password.
void DisableInputMethod(QWidget* widget);

// Enter presses the default button and Esc the cancel button, as in a dialog box (a disabled
// button ignores the press). True when the key was one of the two.
bool PressDialogKey(QKeyEvent* event, QPushButton* defaultButton, QPushButton* cancelButton);
