// TForm5, the Q&A list window (modeless, the one resizable window): the rows of QUIZQA in a
// read-only grid, one page at a time, in one of eight orders and optionally filtered.
#pragma once

#include "db/question_row.h"
#include "db/quiz_database.h"

#include <QWidget>
#include <memory>
#include <string>

namespace Ui {
class TForm5;
}

class TForm5 : public QWidget {
    Q_OBJECT

public:
    explicit TForm5(QuizDatabase& db, QWidget* parent = nullptr);
    ~TForm5() override;

    // The grid's columns: N to AN3 of each row.
    static constexpr int ColumnCount = QaEditedColumns;

    // Set afresh by every show.
    int PageSize = 100;       // data rows of the grid and rows per page
    int PageStart = 1;        // position (from 1) of the first row shown, in the ordered, filtered result
    int NextPageStart = 0;    // PageStart plus the rows the last load showed
    std::string WhereText;    // the filter condition, empty for none
    std::string OrderText = "N";

    void FormShow();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void ComboBox1Select(int index);
    // Also run by a double-click on Edit1.
    void ComboBox2Select();

    // The outer size, frame included, as the layout file keeps it. Until the window manager
    // has framed the window its frame is unknown and the outer size is the client size; a
    // size set then is made the outer size once the frame is known.
    QSize OuterSize() const;
    void SetOuterSize(const QSize& size);
    // The width of one grid column, as the layout file keeps it.
    int ColumnWidth(int column) const;
    void SetColumnWidth(int column, int width);

protected:
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Makes a size set before the frame was known the outer size, once it is known.
    void ApplyPendingOuterSize();
    void ClearGrid();
    void LoadPage();
    void SetButtonsEnabled(bool enabled);

    std::unique_ptr<Ui::TForm5> Controls;
    QuizDatabase& Db;
    QSize PendingOuterSize;  // empty once applied
};

extern TForm5* Form5;

// The lines of the paged SELECT: the filter condition (empty for none) and the order list.
TextList PageStatementLines(const std::string& where, const std::string& order);
