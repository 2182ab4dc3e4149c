#include "app/window_style.h"

#include <QColor>
#include <QFont>
#include <QFontDatabase>
#include <QIcon>
#include <QKeyEvent>
#include <QPushButton>
#include <QPalette>
#include <QPixmap>
#include <QStringList>
#include <QWidget>

namespace {

// The program's icon: a white question mark on a blue disc, 16 x 16 in five colours.
const char* const IconXpm[] = {
    "16 16 6 1",
    ". c None",
    "# c #1C2E6E",
    "b c #2F5FC8",
    "l c #7FA6F0",
    "d c #22489C",
    "w c #FFFFFF",
    "................",
    ".....######.....",
    "...##bbbbbb##...",
    "..#bllwwwwbbb#..",
    ".#bllwwbbwwbbb#.",
    ".#blbwwbbwwbbb#.",
    "#bbbbbbbbwwbbbb#",
    "#bbbbbbbwwbbbbb#",
    "#bbbbbbwwbbbbbb#",
    "#bbbbbbwwbbbbbb#",
    ".#bbbbbbbbbbbd#.",
    ".#bbbbbwwbbbdd#.",
    "..#bbbbwwbbdd#..",
    "...##bbbbdd##...",
    ".....######.....",
    "................"};

}  // namespace

QIcon ProgramIcon() { return QIcon(QPixmap(IconXpm)); }

void InstallGothicSubstitution()
{
    const QString designed = QString::fromUtf8("ＭＳ ゴシック");
    if (QFontDatabase::hasFamily(designed)) return;
    const QStringList candidates = {"IPAGothic", "IPAexGothic", "Noto Sans Mono CJK JP",
                                    "Noto Sans CJK JP", "VL Gothic", "TakaoGothic"};
    QStringList installed;
    for (const QString& family : candidates)
        if (QFontDatabase::hasFamily(family)) installed << family;
    if (!installed.isEmpty()) QFont::insertSubstitutions(designed, installed);
}

void MakeFixedSingleBorder(QWidget* window)
{
    const Qt::WindowFlags type = window->windowType() == Qt::Dialog ? Qt::Dialog : Qt::Window;
    window->setWindowFlags(type | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint);
    window->setFixedSize(window->size());
}

void PlaceWindow(QWidget* window, int left, int top) { window->move(left, top); }

void BringToFront(QWidget* window)
{
    window->show();
    window->raise();
    window->activateWindow();
}

void SetGothicFont(QWidget* widget, int pixels)
{
    QFont font(QString::fromUtf8("ＭＳ ゴシック"));
    font.setPixelSize(pixels);
    widget->setFont(font);
}

void ApplyFormLook(QWidget* window, const QColor& background, int fontPixels)
{
    SetGothicFont(window, fontPixels);
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, background);
    window->setPalette(palette);
    window->setAutoFillBackground(true);
}

void DisableInputMethod(QWidget* widget)
{
    widget->setAttribute(Qt::WA_InputMethodEnabled, false);
    widget->setInputMethodHints(widget->inputMethodHints() | Qt::ImhPreferLatin | Qt::ImhNoPredictiveText);
}

bool PressDialogKey(QKeyEvent* event, QPushButton* defaultButton, QPushButton* cancelButton)
{
    if ((event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) return false;
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        defaultButton->click();
        return true;
    }
    if (event->key() == Qt::Key_Escape) {
        cancelButton->click();
        return true;
    }
    return false;
}
