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
    const TextList row = ReadRow(std::to_string(*number)).value_or(TextList(QaColumnCount));
    for (size_t i = 0; i < boxes.size(); ++i) SetEditText(boxes[i], row[i]);
    Fetched = row[QaN].empty() ? std::nullopt : std::optional(row);
    Controls->Edit2->setFocus();
}

std::optional<TextList> TForm4::ReadRow(const std::string& number)
{
    TextList row(QaColumnCount);
    Db.OpenSelect("*", "QUIZQA", "N=" + number, "");
    const bool read = Db.SelectOpen();
    Db.FetchFirst(row);
    Db.CloseSelect();
    if (!read) return std::nullopt;
    return row;
}

TForm4::Save TForm4::HowToSave(const std::string& number)
{
    if (!Fetched || (*Fetched)[QaN] != number) return Save::Update;
    const std::optional<TextList> now = ReadRow(number);
    // Unreadable: the update meets the same trouble and says so.
    if (!now) return Save::Update;
    const std::string row = Sjis("登録番号") + number + Sjis("のデータは取得した後に他で");
    if ((*now)[QaN].empty())
        return ConfirmYes(this, row + Sjis("削除されています。") + "\r\n" + Sjis("登録し直しますか？")) ? Save::Insert
                                                                                                   : Save::Nothing;
    // SN is left out: every new game room draws it anew for every row.
    static const char* const names[] = {"質問1", "質問2", "質問3", "質問4", "正解答え", "不正解答え1", "不正解答え2", "不正解答え3"};
    std::string changed;
    for (int column = QaQ1; column < QaEditedColumns; ++column)
        if ((*now)[column] != (*Fetched)[column]) changed += (changed.empty() ? "" : Sjis("、")) + Sjis(names[column - QaQ1]);
    if (changed.empty()) return Save::Update;
    return ConfirmYes(this, row + Sjis("変更されています。") + "\r\n" + Sjis("変更された欄：") + changed + "\r\n" +
                                Sjis("上書きしますか？"))
               ? Save::Update
               : Save::Nothing;
}

void TForm4::Button1Click()
{
    const QaBoxes boxes = FindQaBoxes(this);
    const auto values = QaValuesOrRefuse(this, boxes);
    if (!values) return;
    const std::string& number = values->front();
    bool saved = false;
    switch (HowToSave(number)) {
    case Save::Nothing:
        return;
    case Save::Update:
        // Every column but ANN is written, N with the value it already has.
        saved = Db.UpdateFields("QUIZQA", QaEditedColumns, QaColumnNames(), *values, "N=" + number);
        break;
    case Save::Insert:
        saved = Db.InsertFields("QUIZQA", QaEditedColumns, QaColumnNames(), *values);
        break;
    }
    ShowMessage(this, Sjis(saved ? "編集登録OK" : "編集登録失敗"));
    // The row now holds what the boxes show; a later save asks only about later changes.
    if (saved && Fetched && (*Fetched)[QaN] == number)
        for (int column = QaQ1; column < QaEditedColumns; ++column) (*Fetched)[column] = EditText(boxes[column]);
}

void TForm4::Button2Click()
{
    ClearQaBoxes(FindQaBoxes(this));
    Fetched.reset();
}

void TForm4::Button3Click() { close(); }
