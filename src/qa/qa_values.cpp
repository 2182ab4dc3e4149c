#include "qa/qa_values.h"

#include "app/dialogs.h"
#include "app/sjis_text.h"
#include "app/unitv.h"
#include "app/window_style.h"

#include "db/quiz_database.h"
#include "db/value_text.h"

#include <QColor>
#include <QLineEdit>

#include <algorithm>

namespace {

// The column widths in bytes, box by box.
constexpr std::array<int, QaEditedColumns> BoxBytes = {8, 8, 50, 50, 50, 50, 30, 30, 30, 30};

}  // namespace

QaBoxes FindQaBoxes(const QWidget* window)
{
    QaBoxes boxes{};
    for (size_t i = 0; i < boxes.size(); ++i)
        boxes[i] = window->findChild<QLineEdit*>(QString("Edit%1").arg(i + 1), Qt::FindChildrenRecursively);
    return boxes;
}

void PrepareQaWindow(QWidget* window, QWidget* panel)
{
    window->setWindowFlag(Qt::Window);
    ApplyFormLook(window, Qt::white);
    ApplyFormLook(panel, QColor(0xEB, 0xEB, 0xEB));
    const QaBoxes boxes = FindQaBoxes(window);
    for (size_t i = 0; i < boxes.size(); ++i) LimitSjisBytes(boxes[i], BoxBytes[i]);
    DisableInputMethod(boxes[QaN]);
    DisableInputMethod(boxes[QaSN]);
    MakeFixedSingleBorder(window);
    PlaceWindow(window, 192, 107);
}

void ClearQaBoxes(const QaBoxes& boxes)
{
    for (QLineEdit* box : boxes) box->clear();
}

const std::vector<std::string>& QaColumnNames()
{
    static const std::vector<std::string> names(QuestionColumnNames.begin(),
                                                QuestionColumnNames.begin() + QaEditedColumns);
    return names;
}

std::optional<std::vector<std::string>> QaColumnValues(int32_t number, const std::string& sortText,
                                                       const QaTexts& texts)
{
    // CP932 trail bytes start at 0x40, so a byte search finds only real quote characters.
    for (const std::string& text : texts)
        if (HasQuote(text)) return std::nullopt;

    std::vector<std::string> values = {std::to_string(number), std::to_string(TextToInt(sortText))};
    for (const std::string& text : texts) values.push_back(text.empty() ? "NULL" : SqlQuoted(text));
    return values;
}

std::optional<std::vector<std::string>> QaColumnValues(int32_t number, const QaBoxes& boxes)
{
    QaTexts texts;
    for (size_t i = 0; i < texts.size(); ++i) texts[i] = EditText(boxes[QaQ1 + i]);
    return QaColumnValues(number, EditText(boxes[QaSN]), texts);
}

std::string QaNumberMessage() { return Sjis("登録番号は1以上の整数で入力して下さい"); }

std::optional<int32_t> QaNumberOrRefuse(QWidget* window, const QaBoxes& boxes)
{
    // The box's own text: a leading blank reads as a number, a trailing one does not.
    const int32_t number = TextToInt(EditText(boxes[QaN]));
    if (number > 0) return number;
    ShowMessage(window, QaNumberMessage());
    boxes[QaN]->setFocus();
    return std::nullopt;
}

std::optional<std::vector<std::string>> QaValuesOrRefuse(QWidget* window, const QaBoxes& boxes)
{
    const std::optional<int32_t> number = QaNumberOrRefuse(window, boxes);
    if (!number) return std::nullopt;
    auto values = QaColumnValues(*number, boxes);
    // A question without any text cannot be played; a refused paste leaves its lines empty.
    const bool noQuestion =
        values && std::all_of(values->begin() + QaQ1, values->begin() + QaANS, [](const std::string& v) { return v == "NULL"; });
    if (!values || noQuestion) {
        ShowMessage(window, values ? Sjis("質問を入力して下さい") : QuoteMessage());
        boxes[QaQ1]->setFocus();
        return std::nullopt;
    }
    return values;
}

bool QaTableReady(QuizDatabase& db)
{
    return db.Connected() && (db.TableExists("QUIZQA") || db.CreateQuizQaTable());
}

