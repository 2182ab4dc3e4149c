#include "qa/qa_values.h"

#include "app/sjis_text.h"
#include "app/unitv.h"
#include "app/window_style.h"

#include <QLineEdit>

namespace {

// The column widths in bytes, box by box.
constexpr std::array<int, 10> BoxBytes = {8, 8, 50, 50, 50, 50, 30, 30, 30, 30};

}  // namespace

void PrepareQaBoxes(const QaBoxes& boxes)
{
    for (size_t i = 0; i < boxes.size(); ++i) LimitSjisBytes(boxes[i], BoxBytes[i]);
    DisableInputMethod(boxes[0]);
    DisableInputMethod(boxes[1]);
}

void ClearQaBoxes(const QaBoxes& boxes)
{
    for (QLineEdit* box : boxes) box->clear();
}

const std::vector<std::string>& QaColumnNames()
{
    static const std::vector<std::string> names = {"N", "SN", "Q1", "Q2", "Q3", "Q4", "ANS", "AN1", "AN2", "AN3"};
    return names;
}

std::optional<std::vector<std::string>> QaColumnValues(int32_t number, const std::string& sortText,
                                                       const std::array<std::string, 8>& texts)
{
    // CP932 trail bytes start at 0x40, so a byte search finds only real quote characters.
    for (const std::string& text : texts)
        if (HasQuote(text)) return std::nullopt;

    std::vector<std::string> values = {std::to_string(number), std::to_string(TextToInt(sortText))};
    for (const std::string& text : texts) values.push_back(text.empty() ? "NULL" : "'" + text + "'");
    return values;
}

std::optional<std::vector<std::string>> QaColumnValues(int32_t number, const QaBoxes& boxes)
{
    std::array<std::string, 8> texts;
    for (size_t i = 0; i < texts.size(); ++i) texts[i] = EditText(boxes[i + 2]);
    return QaColumnValues(number, EditText(boxes[1]), texts);
}

std::string QaNumberMessage() { return Sjis("登録番号は1以上の整数で入力して下さい"); }

