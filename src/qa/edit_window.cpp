#include "qa/edit_window.h"

#include "app/dialogs.h"
#include "app/handler_guard.h"
#include "app/sjis_text.h"
#include "app/unitv.h"
#include "app/window_style.h"
#include "db/quiz_database.h"
#include "qa/qa_values.h"
#include "ui_edit_window.h"

#include <QKeyEvent>
#include <QShowEvent>
#include <cstdint>

TForm4* Form4 = nullptr;

TForm4::TForm4(QuizDatabase& db, QWidget* parent)
    : QWidget(parent), Controls(std::make_unique<Ui::TForm4>()), Db(db)
{
    Controls->setupUi(this);
    PrepareQaWindow(this, Controls->Panel1);

    ConnectGuarded(Controls->Button1, &QPushButton::clicked, this, &TForm4::Button1Click);
    ConnectGuarded(Controls->Button2, &QPushButton::clicked, this, &TForm4::Button2Click);
    ConnectGuarded(Controls->Button3, &QPushButton::clicked, this, &TForm4::Button3Click);
    ConnectGuarded(Controls->Button4, &QPushButton::clicked, this, &TForm4::Button4Click);
}

TForm4::~TForm4() = default;

void TForm4::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous()) Guarded([this] { FormShow(); });
}

void TForm4::keyPressEvent(QKeyEvent* event)
{
    // Enter after typing a number fetches that row: saving the still empty boxes over it
    // would lose the row. Everywhere else Enter saves.
    QPushButton* enterButton = focusWidget() == Controls->Edit1 ? Controls->Button4 : Controls->Button1;
    if (!PressDialogKey(event, enterButton, Controls->Button3)) QWidget::keyPressEvent(event);
}

void TForm4::FormShow()
{
    const bool ready = QaTableReady(Db);
    Controls->Button1->setEnabled(ready);
    Controls->Button4->setEnabled(ready);
    if (Db.Connected()) Controls->Edit1->setFocus();
}

void TForm4::Button4Click()
{
    const QaBoxes boxes = FindQaBoxes(this);
    const std::optional<int32_t> number = QaNumberOrRefuse(this, boxes);
    if (!number) return;
    ClearQaBoxes(boxes);

    // A whole row, ANN included; a missing row leaves it all empty.
    TextList row(QaColumnCount);
    Db.OpenSelect("*", "QUIZQA", "N=" + std::to_string(*number), "");
    Db.FetchFirst(row);
    Db.CloseSelect();
    for (size_t i = 0; i < boxes.size(); ++i) SetEditText(boxes[i], row[i]);
    Controls->Edit2->setFocus();
}

void TForm4::Button1Click()
{
    const auto values = QaValuesOrRefuse(this, FindQaBoxes(this));
    if (!values) return;
    // Every column but ANN is written, N with the value it already has.
    if (Db.UpdateFields("QUIZQA", QaEditedColumns, QaColumnNames(), *values, "N=" + values->front()))
        ShowMessage(this, Sjis("編集登録OK"));
    else
        ShowMessage(this, Sjis("編集登録失敗"));
}

void TForm4::Button2Click() { ClearQaBoxes(FindQaBoxes(this)); }

void TForm4::Button3Click() { close(); }
