#include "qa/entry_window.h"

#include "app/dialogs.h"
#include "app/handler_guard.h"
#include "app/sjis_text.h"
#include "app/unitv.h"
#include "app/window_style.h"
#include "db/quiz_database.h"
#include "qa/qa_values.h"
#include "ui_entry_window.h"

#include <QKeyEvent>
#include <QShowEvent>
#include <cstdint>

TForm3* Form3 = nullptr;

TForm3::TForm3(QuizDatabase& db, QWidget* parent)
    : QWidget(parent), Controls(std::make_unique<Ui::TForm3>()), Db(db)
{
    Controls->setupUi(this);
    PrepareQaWindow(this, Controls->Panel1);

    Controls->Edit1->installEventFilter(this);
    ConnectGuarded(Controls->Button1, &QPushButton::clicked, this, &TForm3::Button1Click);
    ConnectGuarded(Controls->Button2, &QPushButton::clicked, this, &TForm3::Button2Click);
    ConnectGuarded(Controls->Button3, &QPushButton::clicked, this, &TForm3::Button3Click);
}

TForm3::~TForm3() = default;

void TForm3::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous()) Guarded([this] { FormShow(); });
}

void TForm3::keyPressEvent(QKeyEvent* event)
{
    if (!PressDialogKey(event, Controls->Button1, Controls->Button3)) QWidget::keyPressEvent(event);
}

bool TForm3::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Controls->Edit1 && event->type() == QEvent::MouseButtonDblClick)
        Guarded([this] { Edit1DblClick(); });
    return QWidget::eventFilter(watched, event);
}

void TForm3::FormShow()
{
    const bool ready = QaTableReady(Db);
    Controls->Button1->setEnabled(ready);
    if (Db.Connected()) Controls->Edit1->setFocus();
}

void TForm3::Edit1DblClick()
{
    std::string largest;
    Db.SelectMax("QUIZQA", "N", "", largest);
    // In 64 bits, so that a table already holding the largest INTEGER proposes a number the
    // register button refuses rather than one that wrapped round.
    const int64_t next = int64_t{TextToInt(largest)} + 1;
    SetEditText(Controls->Edit1, std::to_string(next));
}

void TForm3::Button1Click()
{
    if (TrimBlanks(EditText(Controls->Edit1)).empty()) Edit1DblClick();
    const auto values = QaValuesOrRefuse(this, FindQaBoxes(this));
    if (!values) return;
    if (Db.InsertFields("QUIZQA", QaEditedColumns, QaColumnNames(), *values))
        ShowMessage(this, Sjis("登録OK"));
    else
        ShowMessage(this, Sjis("登録失敗"));
}

void TForm3::Button2Click() { ClearQaBoxes(FindQaBoxes(this)); }

void TForm3::Button3Click() { close(); }
