#include "qa/entry_window.h"

#include "app/dialogs.h"
#include "app/handler_guard.h"
#include "app/main_window.h"
#include "app/sjis_text.h"
#include "app/unitv.h"
#include "app/window_style.h"

#include <QKeyEvent>
#include <QShowEvent>
#include <cstdint>

TForm3* Form3 = nullptr;

TForm3::TForm3(QWidget* parent) : QWidget(parent)
{
    Controls.setupUi(this);
    setWindowFlag(Qt::Window);
    ApplyFormLook(this, Qt::white);
    ApplyFormLook(Controls.Panel1, QColor(0xEB, 0xEB, 0xEB));
    PrepareQaBoxes(Boxes());
    MakeFixedSingleBorder(this);
    PlaceWindow(this, 192, 107);

    Controls.Edit1->installEventFilter(this);
    ConnectGuarded(Controls.Button1, &QPushButton::clicked, this, &TForm3::Button1Click);
    ConnectGuarded(Controls.Button2, &QPushButton::clicked, this, &TForm3::Button2Click);
    ConnectGuarded(Controls.Button3, &QPushButton::clicked, this, &TForm3::Button3Click);
}

QaBoxes TForm3::Boxes() const
{
    return {Controls.Edit1, Controls.Edit2, Controls.Edit3, Controls.Edit4, Controls.Edit5,
            Controls.Edit6, Controls.Edit7, Controls.Edit8, Controls.Edit9, Controls.Edit10};
}

void TForm3::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous()) Guarded([this] { FormShow(); });
}

void TForm3::keyPressEvent(QKeyEvent* event)
{
    if (!PressDialogKey(event, Controls.Button1, Controls.Button3)) QWidget::keyPressEvent(event);
}

bool TForm3::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Controls.Edit1 && event->type() == QEvent::MouseButtonDblClick) Edit1DblClick();
    return QWidget::eventFilter(watched, event);
}

void TForm3::FormShow()
{
    Controls.Button1->setEnabled(true);
    QuizDatabase& db = Form1->Database();
    if (!db.Connected()) {
        Controls.Button1->setEnabled(false);
        return;
    }
    if (!db.TableExists("QUIZQA") && !db.CreateQuizQaTable()) Controls.Button1->setEnabled(false);
    Controls.Edit1->setFocus();
}

void TForm3::Edit1DblClick()
{
    std::string largest;
    Form1->Database().SelectMax("QUIZQA", "N", "", largest);
    // In 64 bits, so that a table already holding the largest INTEGER proposes a number the
    // register button refuses rather than one that wrapped round.
    const int64_t next = int64_t{TextToInt(largest)} + 1;
    SetEditText(Controls.Edit1, std::to_string(next));
}

void TForm3::Button1Click()
{
    if (TrimBlanks(EditText(Controls.Edit1)).empty()) Edit1DblClick();
    // The box's own text: a leading blank reads as a number, a trailing one does not.
    const int32_t number = TextToInt(EditText(Controls.Edit1));
    if (number <= 0) {
        ShowMessage(this, QaNumberMessage());
        Controls.Edit1->setFocus();
        return;
    }
    const auto values = QaColumnValues(number, Boxes());
    if (!values) {
        ShowMessage(this, QuoteMessage());
        Controls.Edit3->setFocus();
        return;
    }
    if (Form1->Database().InsertFields("QUIZQA", 10, QaColumnNames(), *values))
        ShowMessage(this, Sjis("登録OK"));
    else
        ShowMessage(this, Sjis("登録失敗"));
}

void TForm3::Button2Click() { ClearQaBoxes(Boxes()); }

void TForm3::Button3Click() { close(); }
