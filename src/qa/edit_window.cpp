#include "qa/edit_window.h"

#include "app/dialogs.h"
#include "app/handler_guard.h"
#include "app/main_window.h"
#include "app/sjis_text.h"
#include "app/unitv.h"
#include "app/window_style.h"

#include <QKeyEvent>
#include <QShowEvent>
#include <cstdint>

TForm4* Form4 = nullptr;

TForm4::TForm4(QWidget* parent) : QWidget(parent)
{
    Controls.setupUi(this);
    setWindowFlag(Qt::Window);
    ApplyFormLook(this, Qt::white);
    ApplyFormLook(Controls.Panel1, QColor(0xEB, 0xEB, 0xEB));
    PrepareQaBoxes(Boxes());
    MakeFixedSingleBorder(this);
    PlaceWindow(this, 192, 107);

    ConnectGuarded(Controls.Button1, &QPushButton::clicked, this, &TForm4::Button1Click);
    ConnectGuarded(Controls.Button2, &QPushButton::clicked, this, &TForm4::Button2Click);
    ConnectGuarded(Controls.Button3, &QPushButton::clicked, this, &TForm4::Button3Click);
    ConnectGuarded(Controls.Button4, &QPushButton::clicked, this, &TForm4::Button4Click);
}

QaBoxes TForm4::Boxes() const
{
    return {Controls.Edit1, Controls.Edit2, Controls.Edit3, Controls.Edit4, Controls.Edit5,
            Controls.Edit6, Controls.Edit7, Controls.Edit8, Controls.Edit9, Controls.Edit10};
}

void TForm4::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous()) Guarded([this] { FormShow(); });
}

void TForm4::keyPressEvent(QKeyEvent* event)
{
    if (!PressDialogKey(event, Controls.Button1, Controls.Button3)) QWidget::keyPressEvent(event);
}

void TForm4::FormShow()
{
    Controls.Button1->setEnabled(true);
    Controls.Button4->setEnabled(true);
    QuizDatabase& db = Form1->Database();
    if (!db.Connected()) {
        Controls.Button1->setEnabled(false);
        Controls.Button4->setEnabled(false);
        return;
    }
    if (!db.TableExists("QUIZQA") && !db.CreateQuizQaTable()) {
        Controls.Button1->setEnabled(false);
        Controls.Button4->setEnabled(false);
    }
    Controls.Edit1->setFocus();
}

void TForm4::Button4Click()
{
    const int32_t number = TextToInt(EditText(Controls.Edit1));
    if (number <= 0) {
        ShowMessage(this, QaNumberMessage());
        Controls.Edit1->setFocus();
        return;
    }
    const QaBoxes boxes = Boxes();
    ClearQaBoxes(boxes);

    // N, SN, Q1 to Q4, ANS, AN1 to AN3, ANN; a missing row leaves them all empty.
    TextList row(11);
    QuizDatabase& db = Form1->Database();
    db.OpenSelect("*", "QUIZQA", "N=" + std::to_string(number), "");
    db.FetchFirst(row);
    db.CloseSelect();
    for (size_t i = 0; i < boxes.size(); ++i) SetEditText(boxes[i], row[i]);
    Controls.Edit2->setFocus();
}

void TForm4::Button1Click()
{
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
    // Every column but ANN is written, N with the value it already has.
    if (Form1->Database().UpdateFields("QUIZQA", 10, QaColumnNames(), *values, "N=" + std::to_string(number)))
        ShowMessage(this, Sjis("編集登録OK"));
    else
        ShowMessage(this, Sjis("編集登録失敗"));
}

void TForm4::Button2Click() { ClearQaBoxes(Boxes()); }

void TForm4::Button3Click() { close(); }
