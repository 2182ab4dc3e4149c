// Renders each window of the program to a PNG file, for looking at them without a display:
//   render_windows OUTPUT_FOLDER
// Runs under the offscreen platform with a settings file of its own that names no database.
#include "app/main_window.h"
#include "app/program.h"
#include "app/window_style.h"
#include "db/question_row.h"
#include "game/play_window.h"
#include "player/settings_window.h"
#include "qa/edit_window.h"
#include "qa/entry_window.h"
#include "qa/list_window.h"
#include "qa/qa_values.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPixmap>
#include <QTabWidget>
#include <cstdio>
#include <utility>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: render_windows OUTPUT_FOLDER\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QuizApplication application(argc, argv);
    InstallGothicSubstitution();
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);

    QFile settings(folder + "/games.dat");
    if (!settings.open(QIODevice::WriteOnly) || settings.write("\r\n\r\n0\r\n\r\n\r\n") < 0) return 1;
    settings.close();

    CreateWindows();
    Form1->SetExecutablePath((folder + "/quizgame").toLocal8Bit().toStdString());
    Form1->show();
    const std::pair<QWidget*, const char*> windows[] = {{Form1, "Form1"}, {Form2, "Form2"}, {Form3, "Form3"},
                                                        {Form4, "Form4"}, {Form5, "Form5"}, {FormPlay, "FormPlay"}};
    for (const auto& [window, name] : windows) {
        window->grab().save(folder + '/' + name + ".png");
    }
    Form1->findChild<QTabWidget*>("PageControl1")->setCurrentIndex(1);
    Form1->grab().save(folder + "/Form1-settings.png");

    // The Q&A entry and edit windows with every box full to its byte limit, double-byte text
    // in the question lines and answers.
    const QString question = QString::fromUtf8("日本で一番高い山はどれでしょうか？答えを選んで下さ");
    const QString answer = QString::fromUtf8("富士山北岳奥穂高岳間ノ岳槍ヶ岳");
    for (const auto& [window, name] : {std::pair<QWidget*, const char*>{Form3, "Form3"}, {Form4, "Form4"}}) {
        const QaBoxes boxes = FindQaBoxes(window);
        boxes[QaN]->setText("88888888");
        boxes[QaSN]->setText("12345678");
        for (size_t i = QaQ1; i <= QaQ4; ++i) boxes[i]->setText(question);
        for (size_t i = QaANS; i <= QaAN3; ++i) boxes[i]->setText(answer);
        for (QLineEdit* box : boxes) box->setCursorPosition(0);
        window->grab().save(folder + '/' + name + "-filled.png");
    }
    DestroyWindows();
    return 0;
}
