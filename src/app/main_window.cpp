#include "app/main_window.h"

#include "app/close_signals.h"
#include "app/dialogs.h"
#include "app/file_places.h"
#include "app/handler_guard.h"
#include "app/line_files.h"
#include "app/sjis_text.h"
#include "app/unitv.h"
#include "app/window_style.h"
#include "game/play_window.h"
#include "game/room_protocol.h"
#include "player/settings_window.h"
#include "qa/edit_window.h"
#include "qa/entry_window.h"
#include "qa/list_window.h"
#include "qa/text_exchange.h"
#include "ui_main_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QProgressDialog>
#include <array>
#include <functional>

TForm1* Form1 = nullptr;

namespace {

// The instructions on the play page, one entry per line.
const char* const InstructionLines[] = {
    "このゲームは出題される質問に対し４つの選択肢のうち",
    "正解と思う項目を選択して早く正解した人が勝つという",
    "C/S型DBを利用したマルチユーザー用ゲームです。",
    "質問は10問で最高点の人が＋1ポイントとなります。",
    "（複数人になる場合は(+1/人数)となります）",
    "一度指定した答えを変更する事は出来ません。",
    "同梱のSample.txt にＱ＆Ａ例を少し書いてありますので",
    "設定｜Ｑ＆Ａデータ読込み　をしてみて下さい。",
    "　",
    "どの使用者が一番早かったのか、については、",
    "DB依存となります★",
};

// Where the first start of the program would look for the database.
const char* const DefaultServerName = "127.0.0.1:";
const char* const DefaultDataFolder = "C:\\data\\";

// Both file dialogs of the Q&A text exchange.
FileDialogOptions QaFileDialog() { return {Sjis("タブ区切りText File(*.txt)|*.txt"), ".txt"}; }

// The extension of a path: from the last "." of its file name on, dot included; empty when
// the file name has none.
std::string Extension(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    return path.substr(dot);
}

std::string UpperAscii(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// The rows written of all rows while an import runs, with a cancel that rolls it back. The
// program has one thread: events are processed between batches, so that the windows stay
// drawn. Nothing else may reach the database meanwhile: until the dialog shows (a short import
// never shows it), the user's input waits; once shown, the dialog is modal.
class ImportProgress {
public:
    explicit ImportProgress(QWidget* parent) : Dialog(parent)
    {
        Dialog.setObjectName("ImportProgress");
        Dialog.setWindowTitle(ToQt(ApplicationTitle()));
        Dialog.setWindowModality(Qt::ApplicationModal);
        Dialog.setCancelButtonText(ToQt(Sjis("キャンセル")));
        Dialog.setMinimumDuration(500);
        Dialog.setAutoReset(false);
        Dialog.setAutoClose(false);
    }

    bool Report(size_t done, size_t total)
    {
        Dialog.setMaximum(static_cast<int>(total));
        Dialog.setLabelText(ToQt(Sjis("Ｑ＆Ａデータを読み込んでいます（") + std::to_string(done) + " / " +
                                 std::to_string(total) + Sjis("件）")));
        Dialog.setValue(static_cast<int>(done));  // processes every event once the dialog is shown
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        return !Dialog.wasCanceled();
    }

private:
    QProgressDialog Dialog;
};

// What the user is told at the end of an import (CP932): one sentence, the server's text on
// a second line where it explains the failure.
std::string ImportMessage(const ImportResult& result, bool replace)
{
    const std::string unchanged = Sjis("（Ｑ＆Ａデータは元のままです）");
    const std::string server = result.ServerText.empty() ? std::string() : "\r\n" + result.ServerText;
    switch (result.End) {
    case ImportEnd::Imported:
        if (!replace) return std::to_string(result.Rows) + Sjis("件のＱ＆Ａデータを追加しました");
        return Sjis("現在のデータを削除して、") + std::to_string(result.Rows) +
               Sjis("件のＱ＆Ａデータを読み込みました");
    case ImportEnd::NotConnected:
        return Sjis("データベースに接続されていません");
    case ImportEnd::NoTable:
        return Sjis("Ｑ＆Ａテーブルが作成されていません");
    case ImportEnd::Unreadable:
        return Sjis("ファイルを読み込めませんでした");
    case ImportEnd::TooLarge:
        return Sjis("64MBを超えるファイルは読み込めません");
    case ImportEnd::Busy:
        return Sjis("ほかの読み込みが実行中のため、読み込みを中止しました") + unchanged;
    case ImportEnd::Cancelled:
        return Sjis("読み込みを取り消しました") + unchanged;
    case ImportEnd::LineRefused:
        return std::to_string(result.Line) + Sjis("行目をデータベースに書き込めないため、読み込みを中止しました") +
               unchanged + server;
    case ImportEnd::Failed:
        break;
    }
    return Sjis("データベースに書き込めないため、読み込みを中止しました") + unchanged + server;
}

constexpr int LayoutLineCount = 24;

// One line of the layout file: how to read the value from the windows and how to apply it.
struct LayoutValue {
    std::function<int()> Get;
    std::function<void(int)> Set;
};

LayoutValue Left(QWidget* w) { return {[w] { return w->x(); }, [w](int v) { w->move(v, w->y()); }}; }
LayoutValue Top(QWidget* w) { return {[w] { return w->y(); }, [w](int v) { w->move(w->x(), v); }}; }

// The list window's size is its outer size, frame included.
LayoutValue Width(TForm5* w)
{
    return {[w] { return w->OuterSize().width(); }, [w](int v) { w->SetOuterSize({v, w->OuterSize().height()}); }};
}
LayoutValue Height(TForm5* w)
{
    return {[w] { return w->OuterSize().height(); }, [w](int v) { w->SetOuterSize({w->OuterSize().width(), v}); }};
}

LayoutValue ColumnWidth(TForm5* w, int column)
{
    return {[w, column] { return w->ColumnWidth(column); }, [w, column](int v) { w->SetColumnWidth(column, v); }};
}

// The 24 lines of the layout file in file order.
std::array<LayoutValue, LayoutLineCount> LayoutValues()
{
    static_assert(TForm5::ColumnCount == 10, "the layout file holds ten column widths");
    return {Left(Form1),   Top(Form1),    Left(Form2),  Top(Form2),   Left(Form3),
            Top(Form3),    Left(Form4),   Top(Form4),   Left(Form5),  Top(Form5),
            Width(Form5),  Height(Form5), ColumnWidth(Form5, 0), ColumnWidth(Form5, 1),
            ColumnWidth(Form5, 2), ColumnWidth(Form5, 3), ColumnWidth(Form5, 4), ColumnWidth(Form5, 5),
            ColumnWidth(Form5, 6), ColumnWidth(Form5, 7), ColumnWidth(Form5, 8), ColumnWidth(Form5, 9),
            Left(FormPlay), Top(FormPlay)};
}

}  // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent), Controls(std::make_unique<Ui::TForm1>()), Db(GameDatabasePath)
{
    Controls->setupUi(this);
    ApplyFormLook(this, Qt::white);
    MakeFixedSingleBorder(this);
    PlaceWindow(this, 287, 114);

    QString memo;
    for (const char* line : InstructionLines) {
        if (!memo.isEmpty()) memo += '\n';
        memo += QString::fromUtf8(line);
    }
    Controls->Memo1->setPlainText(memo);
    Controls->PageControl1->setCurrentWidget(Controls->TabSheet1);

    ConnectGuarded(Controls->Button0, &QPushButton::clicked, this, &TForm1::Button0Click);
    ConnectGuarded(Controls->Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    ConnectGuarded(Controls->Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
    ConnectGuarded(Controls->Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
    ConnectGuarded(Controls->Button4, &QPushButton::clicked, this, &TForm1::Button4Click);
    ConnectGuarded(Controls->Button5, &QPushButton::clicked, this, &TForm1::Button5Click);
    ConnectGuarded(Controls->Button6, &QPushButton::clicked, this, &TForm1::Button6Click);
    ConnectGuarded(Controls->Button7, &QPushButton::clicked, this, &TForm1::Button7Click);
    ConnectGuarded(Controls->ButtonG, &QPushButton::clicked, this, &TForm1::ButtonGClick);

    connect(&Reconnect, &QTimer::timeout, this, [this] {
        if (!KeepConnected || Db.Connected()) return;
        Db.ConnectDatabase();
        ReclaimCloseSignals();
    });
    Reconnect.start(3000);
}

TForm1::~TForm1() = default;

void TForm1::LoadSettings(const std::string& path)
{
    AppSettings.ServerName = DefaultServerName;
    AppSettings.DataFolder = DefaultDataFolder;
    AppSettings.PlayerNo = 0;
    AppSettings.PlayerName.clear();
    AppSettings.PlayerPassword.clear();
    if (!FileExists(path)) return;

    const LinesRead read = ReadLines(path, 5);
    // After a read error only the lines read so far count; at the end of the file the
    // missing lines read as empty text.
    const size_t usable = read.Complete ? 5 : read.Lines.size();
    auto line = [&read](size_t i) { return i < read.Lines.size() ? read.Lines[i] : std::string(); };
    if (usable > 0) AppSettings.ServerName = line(0);
    if (usable > 1) AppSettings.DataFolder = line(1);
    if (usable > 2) AppSettings.PlayerNo = TextToInt(line(2));
    if (usable > 3) AppSettings.PlayerName = line(3);
    if (usable > 4) AppSettings.PlayerPassword = line(4);
}

void TForm1::SaveSettings(const std::string& path)
{
    WriteLines(path, {AppSettings.ServerName, AppSettings.DataFolder, std::to_string(AppSettings.PlayerNo),
                      AppSettings.PlayerName, AppSettings.PlayerPassword});
}

void TForm1::LoadLayout(const std::string& path)
{
    Form5->SetOuterSize({320, 240});
    for (int column = 0; column < TForm5::ColumnCount; ++column) Form5->SetColumnWidth(column, 80);
    if (FileExists(path)) {
        const LinesRead read = ReadLines(path, LayoutLineCount);
        const size_t usable = read.Complete ? LayoutLineCount : read.Lines.size();
        const auto values = LayoutValues();
        for (size_t i = 0; i < usable; ++i)
            values[i].Set(TextToInt(i < read.Lines.size() ? read.Lines[i] : std::string()));
    }
    // The file may come from a larger screen or a lower scaling, and even the designed places
    // lie partly outside a small screen at a high scaling.
    for (QWidget* window : std::initializer_list<QWidget*>{Form1, Form2, Form3, Form4, Form5, FormPlay})
        KeepOnScreen(window);
}

void TForm1::SaveLayout(const std::string& path)
{
    std::vector<std::string> lines;
    for (const LayoutValue& value : LayoutValues()) lines.push_back(std::to_string(value.Get()));
    WriteLines(path, lines);
}

void TForm1::setVisible(bool visible)
{
    // FormShow loads the layout before the window appears: a position set once the window
    // exists but before the window manager has framed it would place the client area, not
    // the frame, and the window would creep by its frame on every start.
    if (visible && !isVisible()) Guarded([this] { FormShow(); });
    QWidget::setVisible(visible);
}

void TForm1::closeEvent(QCloseEvent* event)
{
    Guarded([this] { FormClose(); });
    event->accept();
}

void TForm1::FormShow()
{
    const QFileInfo executable(ExecutablePath.empty() ? QCoreApplication::applicationFilePath()
                                                      : QString::fromLocal8Bit(ExecutablePath.c_str()));
    AppDir = (executable.absolutePath() + '/').toLocal8Bit().toStdString();
    const FilePlaces places = FindFilePlaces(AppDir);
    SettingsPath = places.FilesFolder + "games.dat";
    const std::string settingsRead = FileToRead(places, "games.dat");
    LoadSettings(settingsRead);
    // An installed program's first start, with no games.dat anywhere, plays offline on the
    // embedded engine.
    if (!places.FirstDataFolder.empty() && !FileExists(settingsRead)) {
        AppSettings.ServerName.clear();
        AppSettings.DataFolder = places.FirstDataFolder;
    }
    FirstDialogFolder = places.SampleFolder;
    FirstSaveFolder = places.ExportFolder;

    const std::string layoutName = executable.completeBaseName().toLocal8Bit().toStdString() + ".dat";
    LayoutPath = places.FilesFolder + layoutName;
    LoadLayout(FileToRead(places, layoutName));

    KeepConnected = !AppSettings.DataFolder.empty();
    if (KeepConnected) {
        Db.CreateGameDatabase();
        Db.ConnectDatabase();
        ReclaimCloseSignals();
    }
}

void TForm1::FormClose()
{
    KeepConnected = false;
    Db.DisconnectDatabase();
    SaveSettings(SettingsPath);
    SaveLayout(LayoutPath);
}

void TForm1::Button0Click() { close(); }

void TForm1::Button1Click()
{
    Form3->close();
    Form4->close();
    Form5->close();
    KeepConnected = false;  // the settings window works on the connection itself
    Db.DisconnectDatabase();
    // A player signed in or registered is kept at once: a copy that crashes later would
    // otherwise lose it, and the server and folder with it.
    if (Form2->exec() == QDialog::Accepted && !SettingsPath.empty()) SaveSettings(SettingsPath);
    Db.ConnectDatabase();
    ReclaimCloseSignals();
    KeepConnected = !AppSettings.DataFolder.empty();
}

void TForm1::Button2Click() { BringToFront(Form3); }

void TForm1::Button3Click() { BringToFront(Form4); }

void TForm1::Button4Click() { BringToFront(Form5); }

void TForm1::Button5Click()
{
    if (!Db.Connected() || !Db.TableExists("QUIZQA")) return;
    const std::optional<std::string> chosen = CurrentDialogs().SaveFile(this, QaFileDialog());
    if (!chosen) return;
    std::string fileName = *chosen;
    if (Extension(fileName).empty()) fileName += ".txt";
    if (!ExportTableText(Db, "QUIZQA", "", "", fileName))
        ShowMessage(this, Sjis("Ｑ＆Ａデータをファイルに書き出せませんでした") + "\r\n" +
                              FromQt(QString::fromLocal8Bit(fileName.c_str())));
}

void TForm1::Button6Click()
{
    if (!Db.Connected()) {
        ShowMessage(this, ImportMessage({ImportEnd::NotConnected}, false));
        return;
    }
    if (!Db.TableExists("QUIZQA")) Db.CreateQuizQaTable();
    // None of the Q&A windows may go on showing rows that the import is about to change.
    Form3->close();
    Form4->close();
    Form5->close();
    const bool replace = ConfirmYes(this, Sjis("現在のデータを削除して新規読み込みを行いますか？") + "\r\n" +
                                              Sjis("はい：新規　いいえ：追加"));
    const std::optional<std::string> chosen = CurrentDialogs().OpenFile(this, QaFileDialog());
    if (!chosen) return;
    if (UpperAscii(Extension(*chosen)) != ".TXT") {
        ShowMessage(this, Sjis("読み込めるのは拡張子が.txtのファイルだけです"));
        return;
    }
    ImportResult result;
    std::optional<std::string> lost;
    {
        ImportProgress progress(this);
        // The import says how a broken connection ended it; the connection counts as closed.
        lost = RunUntilConnectionLost([&] {
            result = ImportTableText(Db, "QUIZQA", *chosen, !replace, true,
                                     [&progress](size_t done, size_t total) { return progress.Report(done, total); });
        });
    }
    // The program is ending (a signal or the close box stopped the import): nothing to say.
    if (!isVisible()) return;
    const std::string cut =
        Sjis("データベースとの接続が切れたため、読み込みを中止しました（Ｑ＆Ａデータは元のままです）");
    ShowMessage(this, lost ? cut + "\r\n" + *lost : ImportMessage(result, replace));
}

void TForm1::Button7Click()
{
    const std::string question = Sjis("本ゲームを強制終了する等をしてメンバーテーブルが残ってしまった場合") + "\r\n" +
                                 Sjis("ゲームプレイに支障をきたすのでそれを削除します。") + "\r\n" +
                                 Sjis("ゲームプレイ中には行わないで下さい。　よろしいですか？");
    if (!ConfirmYes(this, question)) return;
    ClearRoom(Db);
}

void TForm1::ButtonGClick()
{
    if (!Db.Connected()) {
        ShowMessage(this, Sjis("データベースに接続されていません"));
        return;
    }
    if (!Db.TableExists("PLAYER")) {
        ShowMessage(this, Sjis("プレイヤーテーブルが作成されていません"));
        return;
    }
    if (!Db.TableExists("QUIZQA")) {
        ShowMessage(this, Sjis("Ｑ＆Ａテーブルが作成されていません"));
        return;
    }
    if (AppSettings.PlayerNo == 0 || AppSettings.PlayerName.empty() || AppSettings.PlayerPassword.empty()) {
        ShowMessage(this, Sjis("プレイヤー登録がされていません"));
        return;
    }
    FormPlay->exec();
}
