// The ten boxes of the Q&A entry and edit windows, and the rules by which their texts become
// the column values of one QUIZQA row. Both windows write through this code.
#pragma once

#include "db/question_row.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class QLineEdit;
class QWidget;
class QuizDatabase;

// Edit1 to Edit10 of either window: N, SN, Q1 to Q4, ANS, AN1 to AN3, by their QuestionColumn.
using QaBoxes = std::array<QLineEdit*, QaEditedColumns>;
// The texts of Q1 to AN3.
using QaTexts = std::array<std::string, QaEditedColumns - QaQ1>;

// Edit1 to Edit10 of window, by their names.
QaBoxes FindQaBoxes(const QWidget* window);
// The look, border and place both windows share, and each box's byte limit of its column,
// with the input method off for the two number boxes.
void PrepareQaWindow(QWidget* window, QWidget* panel);
// Empties all ten boxes.
void ClearQaBoxes(const QaBoxes& boxes);

// N to AN3, as QuestionColumnNames names them: the columns both windows write.
const std::vector<std::string>& QaColumnNames();

// The values for those columns as SQL literals: the number and TextToInt of the sort text as
// bare decimals, then the eight question and answer texts (CP932, exactly as typed) each in
// single quotes, or NULL when empty. Nothing when any of the eight holds ' or ": the windows
// refuse quote characters rather than store them.
std::optional<std::vector<std::string>> QaColumnValues(int32_t number, const std::string& sortText,
                                                       const QaTexts& texts);
// The same from the boxes themselves; the number replaces what Edit1 holds.
std::optional<std::vector<std::string>> QaColumnValues(int32_t number, const QaBoxes& boxes);

// What the windows say when the number is refused (CP932).
std::string QaNumberMessage();

// The number in Edit1 when it is 1 or more; otherwise the window says so, Edit1 takes the
// focus, and nothing comes back.
std::optional<int32_t> QaNumberOrRefuse(QWidget* window, const QaBoxes& boxes);
// The column values of the boxes, with the number from Edit1; when the number or a quote is
// refused, or the four question lines are all empty, the window says so, the box concerned
// takes the focus, and nothing comes back.
std::optional<std::vector<std::string>> QaValuesOrRefuse(QWidget* window, const QaBoxes& boxes);

// Whether the window can work on QUIZQA: connected, and the table there or made just now.
bool QaTableReady(QuizDatabase& db);
