#include "qa/list_window.h"

#include "app/handler_guard.h"
#include "app/sjis_text.h"
#include "app/window_style.h"
#include "db/value_text.h"
#include "ui_list_window.h"

#include <QColor>
#include <QEvent>
#include <QHeaderView>
#include <QShowEvent>
#include <QStringList>
#include <QTableWidgetItem>
#include <array>

TForm5* Form5 = nullptr;

namespace {

// Header row texts; the blank ones are a full-width space each.
const std::array<const char*, TForm5::ColumnCount> HeaderTexts = {"N", "SN", "質問", "　", "　", "　",
                                                          "正解答え", "不正解", "　", "　"};

// ORDER BY lists by the index of ComboBox1's items.
const std::array<const char*, 8> OrderTexts = {"N",   "N DESC",   "SN",  "SN DESC",
                                               "Q1,Q2", "Q1 DESC,Q2 DESC", "ANS", "ANS DESC"};

// The filtered text by the index of ComboBox2's items (0: no filter). A missing question line
// or wrong answer is stored as NULL, and a concatenation with NULL is NULL, so every piece
// counts as empty text; otherwise a question held in Q1 alone could never be found.
const std::array<const char*, 4> FilterTexts = {
    "", "(COALESCE(Q1,'') || COALESCE(Q2,'') || COALESCE(Q3,'') || COALESCE(Q4,''))", "ANS",
    "(COALESCE(AN1,'') || COALESCE(AN2,'') || COALESCE(AN3,''))"};

}  // namespace

TForm5::TForm5(QuizDatabase& db, QWidget* parent)
    : QWidget(parent), Controls(std::make_unique<Ui::TForm5>()), Db(db)
{
    Controls->setupUi(this);
    setWindowFlag(Qt::Window);
    ApplyFormLook(this, QColor(0xA6, 0xCA, 0xF0));
    PlaceWindow(this, 192, 107);

    QPalette panel = Controls->Panel1->palette();
    panel.setColor(QPalette::Window, QColor(0xC8, 0xE4, 0xFF));
    Controls->Panel1->setPalette(panel);
    Controls->Panel1->setAutoFillBackground(true);

    LimitSjisBytes(Controls->Edit1, 0);
    Controls->Edit1->installEventFilter(this);
    Controls->StringGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);

    ConnectGuarded(Controls->Button1, &QPushButton::clicked, this, &TForm5::Button1Click);
    ConnectGuarded(Controls->Button2, &QPushButton::clicked, this, &TForm5::Button2Click);
    ConnectGuarded(Controls->Button3, &QPushButton::clicked, this, &TForm5::Button3Click);
    ConnectGuarded(Controls->Button4, &QPushButton::clicked, this, &TForm5::Button4Click);
    // activated: only the user's pick, not the selection that FormShow sets.
    connect(Controls->ComboBox1, &QComboBox::activated, this,
            [this](int index) { Guarded([this, index] { ComboBox1Select(index); }); });
    ConnectGuarded(Controls->ComboBox2, &QComboBox::activated, this, &TForm5::ComboBox2Select);
}

TForm5::~TForm5() = default;

QSize TForm5::OuterSize() const { return frameGeometry().size(); }

void TForm5::SetOuterSize(const QSize& size)
{
    // Without a frame yet, the size is made the outer size once the frame is known.
    const QSize frame = frameGeometry().size() - this->size();
    PendingOuterSize = frame.isNull() ? size : QSize();
    resize(size - frame);
}

int TForm5::ColumnWidth(int column) const { return Controls->StringGrid1->columnWidth(column); }

void TForm5::SetColumnWidth(int column, int width) { Controls->StringGrid1->setColumnWidth(column, width); }

void TForm5::ApplyPendingOuterSize()
{
    if (PendingOuterSize.isEmpty() || frameGeometry().size() == size()) return;
    const QSize outer = PendingOuterSize;
    PendingOuterSize = {};
    resize(outer - (frameGeometry().size() - size()));
}

void TForm5::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    ApplyPendingOuterSize();
}

void TForm5::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    ApplyPendingOuterSize();
}

void TForm5::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    ApplyPendingOuterSize();
    if (!event->spontaneous()) Guarded([this] { FormShow(); });
}

bool TForm5::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Controls->Edit1 && event->type() == QEvent::MouseButtonDblClick)
        Guarded([this] { ComboBox2Select(); });
    return QWidget::eventFilter(watched, event);
}

void TForm5::FormShow()
{
    PageSize = 100;
    PageStart = 1;
    NextPageStart = 0;
    WhereText.clear();
    OrderText = "N";

    Controls->ComboBox1->setCurrentIndex(0);
    Controls->ComboBox2->setCurrentIndex(0);

    QTableWidget* grid = Controls->StringGrid1;
    QStringList headers;
    for (const char* text : HeaderTexts) headers << QString::fromUtf8(text);
    grid->setHorizontalHeaderLabels(headers);
    grid->setRowCount(PageSize);  // the header row is the horizontal header

    ClearGrid();
    SetButtonsEnabled(true);

    if (!Db.Connected()) {
        SetButtonsEnabled(false);
    } else if (Db.TableExists("QUIZQA")) {
        Button1Click();
    } else if (Db.CreateQuizQaTable()) {
        // The new table's empty first page counts as loaded, so that the next page starts at
        // row 1 and not before it.
        NextPageStart = PageStart;
    } else {
        SetButtonsEnabled(false);
    }
    Controls->ComboBox1->setFocus();
}

void TForm5::SetButtonsEnabled(bool enabled)
{
    for (QPushButton* button : {Controls->Button1, Controls->Button2, Controls->Button3, Controls->Button4})
        button->setEnabled(enabled);
}

void TForm5::ClearGrid() { Controls->StringGrid1->clearContents(); }

TextList PageStatementLines(const std::string& where, const std::string& order)
{
    TextList lines = {"SELECT * FROM QUIZQA"};
    if (!where.empty()) lines.push_back("  WHERE " + where);
    lines.push_back("  ORDER BY " + order + ";");
    return lines;
}

void TForm5::LoadPage()
{
    const TextList lines = PageStatementLines(WhereText, OrderText);
    const std::vector<TextList> rows = Db.ReadPage(lines, PageStart - 1, PageSize);
    QTableWidget* grid = Controls->StringGrid1;
    for (size_t row = 0; row < rows.size(); ++row) {
        for (int column = 0; column < ColumnCount && column < static_cast<int>(rows[row].size()); ++column) {
            auto* item = new QTableWidgetItem(ToQt(rows[row][static_cast<size_t>(column)]));
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            grid->setItem(static_cast<int>(row), column, item);
        }
    }
    NextPageStart = PageStart + static_cast<int>(rows.size());
}

void TForm5::Button1Click()
{
    ClearGrid();
    PageStart = 1;
    LoadPage();
}

void TForm5::Button2Click()
{
    ClearGrid();
    if (PageStart > 1) {
        PageStart -= PageSize;
        if (PageStart < 1) PageStart = 1;
    }
    LoadPage();
}

void TForm5::Button3Click()
{
    ClearGrid();
    PageStart = NextPageStart;
    LoadPage();
}

void TForm5::Button4Click()
{
    ClearGrid();
    LoadPage();
}

void TForm5::ComboBox1Select(int index)
{
    if (index < 0 || index >= static_cast<int>(OrderTexts.size())) return;
    OrderText = OrderTexts[static_cast<size_t>(index)];
    Button1Click();
}

void TForm5::ComboBox2Select()
{
    int index = Controls->ComboBox2->currentIndex();
    if (index < 0 || index >= static_cast<int>(FilterTexts.size())) return;
    const std::string text = EditText(Controls->Edit1);
    if (text.empty()) index = 0;
    WhereText = FilterTexts[static_cast<size_t>(index)];
    // The typed text stays one literal whatever it holds; % and _ keep their meaning as LIKE
    // wildcards.
    if (!WhereText.empty()) WhereText += " LIKE " + SqlQuoted("%" + text + "%");
    Button1Click();
}
