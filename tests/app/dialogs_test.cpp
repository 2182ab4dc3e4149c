// The real dialogs, driven as a user would: the file dialogs' filter as the program words it,
// where each opens, and Qt's own texts in Japanese; message boxes that show their caption whole;
// the program's icon.
#include "app/dialogs.h"
#include "app/sjis_text.h"
#include "app/unitv.h"
#include "app/window_style.h"

#include "support/temp_folder.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QIcon>
#include <QImage>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <utility>

namespace {

struct Seen {
    QString Directory;
    QStringList Filters;
    QString Cancel;
};

// Answers the next file dialog: notes what it shows, then picks file (or cancels).
void Answer(Seen& seen, const QString& file)
{
    QTimer::singleShot(0, [&seen, file] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        seen.Directory = dialog->directory().absolutePath();
        seen.Filters = dialog->nameFilters();
        seen.Cancel = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->text();
        if (file.isEmpty()) {
            dialog->reject();
        } else {
            dialog->selectFile(file);
            dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open)->click();
        }
    });
}

TEST(FileDialogs, OpenInTheProgramsFolderThenWhereTheLastFileWasChosen)
{
    InstallQtTranslations();
    TempFolder program;
    TempFolder elsewhere;
    elsewhere.Write("questions.txt", "");
    AppDir = program.Path();
    FirstDialogFolder.clear();  // a main window shown by an earlier test in this program set it
    const FileDialogOptions options = {Sjis("タブ区切りText File(*.txt)|*.txt"), ".txt"};

    Seen first;
    Answer(first, QString::fromLocal8Bit(elsewhere.File("questions.txt").c_str()));
    EXPECT_EQ(CurrentDialogs().OpenFile(nullptr, options), elsewhere.File("questions.txt"));
    EXPECT_EQ(first.Directory + "/", QString::fromLocal8Bit(program.Path().c_str()));
    EXPECT_EQ(first.Filters, QStringList{QString::fromUtf8("タブ区切りText File(*.txt)")});
    EXPECT_EQ(first.Cancel, QString::fromUtf8("キャンセル"));

    Seen second;
    Answer(second, {});
    EXPECT_EQ(CurrentDialogs().SaveFile(nullptr, options), std::nullopt);
    EXPECT_EQ(second.Directory + "/", QString::fromLocal8Bit(elsewhere.Path().c_str()));

    // A save passes over a last folder it cannot write to (gone; an installed Sample.txt's).
    TempFolder documents;
    FirstSaveFolder = documents.Path();
    std::filesystem::remove_all(elsewhere.Path());
    Answer(second, {});
    CurrentDialogs().SaveFile(nullptr, options);
    EXPECT_EQ(second.Directory + "/", QString::fromLocal8Bit(documents.Path().c_str()));
    FirstSaveFolder.clear();
    AppDir.clear();
}

TEST(MessageBoxes, AreWideEnoughForTheApplicationTitle)
{
    int width = 0;
    int title = 0;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        width = box->width();
        title = box->fontMetrics().horizontalAdvance(box->windowTitle());
        box->accept();
    });
    CurrentDialogs().Message(nullptr, "OK");
    // The frame's buttons stand beside the caption.
    EXPECT_GT(width, title + 60);
}

// Every question the program asks guards shared data: Enter answers いいえ; はい must be chosen.
TEST(ConfirmationBoxes, EnterAnswersNo)
{
    for (const auto& [choose, yes] : {std::pair{"", false}, std::pair{"はい(&Y)", true}}) {
        QTimer::singleShot(0, [choose = choose] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            for (QAbstractButton* button : box->buttons())
                if (button->text() == QString::fromUtf8(choose)) button->click();
            if (box->isVisible()) QTest::keyClick(box, Qt::Key_Return);
        });
        EXPECT_EQ(CurrentDialogs().Confirm(nullptr, "?"), yes) << choose;
    }
}

TEST(ProgramIcon, IsSixteenPixelsSquareInAtMostSixteenColours)
{
    const QImage image = ProgramIcon().pixmap(16, 16).toImage();
    ASSERT_EQ(image.size(), QSize(16, 16));
    std::set<QRgb> colours;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) colours.insert(image.pixel(x, y));
    EXPECT_LE(colours.size(), 16u);
    EXPECT_GE(colours.size(), 3u);
}

}  // namespace
