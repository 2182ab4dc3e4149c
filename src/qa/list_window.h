// TForm5, the Q&A list window (modeless, the one resizable window): the rows of QUIZQA in a
// read-only grid, one page at a time, in one of eight orders and optionally filtered.
#pragma once

#include "db/quiz_database.h"
#include "ui_list_window.h"

#include <QWidget>
#include <string>

class TForm5 : public QWidget {
    Q_OBJECT

public:
    explicit TForm5(QWidget* parent = nullptr);

    Ui::TForm5 Controls;

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

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ClearGrid();
    void LoadPage();
    void SetButtonsEnabled(bool enabled);
};

extern TForm5* Form5;

// The lines of the paged SELECT: the filter condition (empty for none) and the order list.
TextList PageStatementLines(const std::string& where, const std::string& order);
