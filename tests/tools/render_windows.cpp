// Renders each window of the program to a PNG file, for looking at them without a display:
//   render_windows OUTPUT_FOLDER
// Runs under the offscreen platform with a settings file of its own that names no database.
#include "app/main_window.h"
#include "app/program.h"
#include "app/window_style.h"
#include "game/play_window.h"
#include "player/settings_window.h"
#include "qa/edit_window.h"
#include "qa/entry_window.h"
#include "qa/list_window.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPixmap>
#include <array>
#include <cstdio>

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
    Form1->Controls.PageControl1->setCurrentIndex(1);
    Form1->grab().save(folder + "/Form1-settings.png");

    // The Q&A entry and edit windows with every box full to its byte limit, double-byte text
    // in the question lines and answers.
    auto renderFilled = [&folder](QWidget* window, const char* name, const std::array<QLineEdit*, 10>& boxes) {
        boxes[0]->setText("88888888");
        boxes[1]->setText("12345678");
        const QString question = QString::fromUtf8("日本で一番高い山はどれでしょうか？答えを選んで下さ");
        const QString answer = QString::fromUtf8("富士山北岳奥穂高岳間ノ岳槍ヶ岳");
        for (size_t i = 2; i < 6; ++i) boxes[i]->setText(question);
        for (size_t i = 6; i < 10; ++i) boxes[i]->setText(answer);
        for (QLineEdit* box : boxes) box->setCursorPosition(0);
        window->grab().save(folder + '/' + name + "-filled.png");
    };
    const auto& entry = Form3->Controls;
    renderFilled(Form3, "Form3",
                 {entry.Edit1, entry.Edit2, entry.Edit3, entry.Edit4, entry.Edit5, entry.Edit6, entry.Edit7,
                  entry.Edit8, entry.Edit9, entry.Edit10});
    const auto& edit = Form4->Controls;
    renderFilled(Form4, "Form4",
                 {edit.Edit1, edit.Edit2, edit.Edit3, edit.Edit4, edit.Edit5, edit.Edit6, edit.Edit7, edit.Edit8,
                  edit.Edit9, edit.Edit10});
    DestroyWindows();
    return 0;
}
