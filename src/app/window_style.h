// Look shared by every window: the Japanese Gothic font, white background, fixed borders.
#pragma once

class QColor;
class QIcon;
class QKeyEvent;
class QPushButton;
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

// Shows a modeless window, or brings it to the front when it is shown already.
void BringToFront(QWidget* window);

// Turns the input method (Japanese conversion) off for a box that takes numbers or a password.
void DisableInputMethod(QWidget* widget);

// Enter presses the default button and Esc the cancel button, as in a dialog box (a disabled
// button ignores the press). True when the key was one of the two.
bool PressDialogKey(QKeyEvent* event, QPushButton* defaultButton, QPushButton* cancelButton);
