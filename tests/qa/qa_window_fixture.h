// Shared set-up for the Q&A entry and edit windows: the program's windows on a new embedded
// GAMES.FDB that the main window is connected to, recorded message boxes, and reading the
// QUIZQA rows back.
#pragma once

#include "app/main_window.h"
#include "app/program.h"
#include "app/sjis_text.h"
#include "qa/qa_values.h"

#include "support/controls.h"
#include "support/firebird_fixture.h"
#include "support/recording_dialogs.h"
#include "support/typing.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

class QaWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The settings name the test's own embedded database; the main window is never shown,
        // so no settings file is read.
        Folder->Apply();
        CreateWindows();
        Db().CreateGameDatabase();
        ASSERT_TRUE(Db().Connected()) << GameDatabasePath();
    }
    void TearDown() override { DestroyWindows(); }

    static QuizDatabase& Db() { return Form1->Database(); }

    // QUIZQA row n as 11 texts (NULL as empty text), or nothing when there is no such row.
    static TextList Row(int n)
    {
        TextList row(QaColumnCount);
        if (Db().SelectFirstRow("*", "QUIZQA", "N=" + std::to_string(n), row) < 0) return {};
        return row;
    }
    static int Rows(const std::string& condition) { return Db().CountRows("QUIZQA", condition); }

    // A row written straight into the table: N, SN, Q1 to Q4, ANS, AN1 to AN3, ANN as literals.
    static void AddRow(const std::string& literals)
    {
        ASSERT_TRUE(Db().InsertText("QUIZQA", "N,SN,Q1,Q2,Q3,Q4,ANS,AN1,AN2,AN3,ANN", literals)) << literals;
    }

    static void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
    // Replaces what the box holds by typing, as the user selects all and types over it.
    static void Retype(QLineEdit* box, const QString& text)
    {
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        TypeText(box, text);
    }
    // Edit1 to Edit10 of window, found by their names.
    static QaBoxes BoxesOf(const QWidget* window)
    {
        QaBoxes boxes{};
        for (size_t i = 0; i < boxes.size(); ++i)
            boxes[i] = Control<QLineEdit>(window, ("Edit" + std::to_string(i + 1)).c_str());
        return boxes;
    }
    static std::vector<QString> Texts(const QaBoxes& boxes)
    {
        std::vector<QString> texts;
        for (QLineEdit* box : boxes) texts.push_back(box->text());
        return texts;
    }
    static QString Utf8(const char* text) { return QString::fromUtf8(text); }

    SettingsGuard Settings;
    std::unique_ptr<GameFolder> Folder = GameFolder::Embedded();
    RecordingDialogs Dialogs;
};
