#include "app/window_style.h"

#include <QColor>
#include <QCoreApplication>
#include <QEvent>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QPushButton>
#include <QPalette>
#include <QPixmap>
#include <QRect>
#include <QScreen>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <algorithm>

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

QRect FitIntoArea(const QRect& frame, const QRect& area, bool resizable)
{
    QRect fitted = frame;
    if (resizable) fitted.setSize(frame.size().boundedTo(area.size()));
    // The right and bottom edges first, so that the top left corner wins where both cannot fit.
    fitted.moveLeft(std::max(area.left(), std::min(fitted.left(), area.right() - fitted.width() + 1)));
    fitted.moveTop(std::max(area.top(), std::min(fitted.top(), area.bottom() - fitted.height() + 1)));
    return fitted;
}

namespace {

// Set by KeepOnScreen until the window has been fitted with its frame.
const char* const FitPending = "fitOnScreenPending";

void FitOnScreen(QWidget* window, bool mayResize)
{
    const QRect frame = window->frameGeometry();
    const QScreen* screen = QGuiApplication::screenAt(frame.center());
    if (!screen) screen = QGuiApplication::screenAt(frame.topLeft());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const bool resizable = mayResize && window->minimumSize() != window->maximumSize();
    const QRect fitted = FitIntoArea(frame, screen->availableGeometry(), resizable);
    if (fitted.size() != frame.size()) window->resize(window->size() + fitted.size() - frame.size());
    if (fitted.topLeft() != frame.topLeft()) window->move(fitted.topLeft());
}

// Fits a window it watches once more when the frame first shows in its geometry: Qt learns
// the frame from the move or resize that the window manager's framing brings.
class FrameFitter : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        if (type != QEvent::Show && type != QEvent::Move && type != QEvent::Resize) return false;
        auto* window = static_cast<QWidget*>(watched);
        if (!window->property(FitPending).toBool() || window->frameGeometry().size() == window->size()) return false;
        window->setProperty(FitPending, false);
        // After the window's own handlers: the list window makes its stored size the outer
        // one once the frame is known.
        QTimer::singleShot(0, window, [window] { FitOnScreen(window, true); });
        return false;
    }
};

}  // namespace

void KeepOnScreen(QWidget* window)
{
    static auto* fitter = new FrameFitter(QCoreApplication::instance());
    // Only moved for now: the list window's size becomes its outer size once it is framed.
    FitOnScreen(window, false);
    window->setProperty(FitPending, true);
    window->installEventFilter(fitter);
}

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
