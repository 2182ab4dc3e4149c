// Whole games in which real browsers play: headless Chromium sessions (tests/web/browser_players.py)
// sign in on quizgame-web's page and play in one room with a desktop copy (tests/tools/quiz_player)
// on the loopback test server. Every player must have seen the same judgements and result, and
// PLAYER must hold the points the winners earned. One game also saves the page at four screen
// sizes into tests/web-shots of the build folder, for a look at it. In another the classroom's
// screen (tests/web/projector_view.py) watches as the teacher: it must show the players' judgements
// and result, no correct answer before a judgement and no member of its own, and the teacher's CSV
// export must hold the record tables' answers; the players' sessions must not reach the teacher's side.
#include "app/sjis_text.h"
#include "db/quiz_database.h"

#include "support/firebird_fixture.h"
#include "support/player_processes.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>

namespace {

using namespace std::chrono_literals;

struct Question {
    const char* Text;
    const char* Right;
    const char* Wrong[3];
};

// No wrong answer is the right answer of another question: the browsers choose by the text.
const Question Questions[] = {
    {"日本の首都はどこでしょう？", "東京", {"大阪", "京都", "名古屋"}},
    {"日本でいちばん高い山は？", "富士山", {"北岳", "浅間山", "高尾山"}},
    {"うるう年でない一年は何日？", "365日", {"360日", "300日", "366日"}},
    {"水の化学式は？", "H2O", {"CO2", "O2", "NaCl"}},
    {"日本で虹はふつう何色とされる？", "七色", {"五色", "三色", "十色"}},
    {"三角形の内角の和は？", "180度", {"90度", "270度", "360度"}},
    {"日本でいちばん長い川は？", "信濃川", {"利根川", "石狩川", "木曽川"}},
    {"1ダースはいくつ？", "12", {"10", "6", "20"}},
    {"光の三原色に入らない色は？", "黄", {"赤", "緑", "青"}},
    {"太陽系でいちばん大きな惑星はどれでしょう？", "木星", {"土星", "地球", "火星"}},
};

enum class Seat { Desktop, Mouse, Keys };

struct Member {
    const char* Name;
    Seat Plays;
    const char* Tokens;  // per question: c right, w wrong, - none
    const char* Size;    // the browser's screen
    const char* PointsBefore;
    const char* PointsAfter;
};

struct GameCase {
    const char* Title;
    double TimeScale;
    bool Shots;
    bool Projector;
    std::vector<Member> Members;
    const char* TopScore;  // the final line
};

// At most one member answers each question rightly, so every judgement is known beforehand.
const GameCase Games[] = {
    {"TwoBrowsersAndADesktopCopy", 0.2, false, true,
     {{"はなこ", Seat::Mouse, "c,c,c,c,w,w,w,w,w,w", "1366x768", "1.5", "2.5"},
      {"じろう", Seat::Keys, "w,w,w,w,c,c,w,w,w,w", "390x844", "0.25", "0.25"},
      {"たろう", Seat::Desktop, "w,w,w,w,w,w,c,w,w,w", "", "0", "0"}},
     "最高得点：4"},
    // Two tied winners share the point; the desktop copy leaves question 1 open for its whole time.
    {"FourScreenSizesAndADesktopCopy", 0.5, true, false,
     {{"はなこ", Seat::Mouse, "c,c,c,w,w,w,w,w,w,w", "1366x768", "1.5", "2"},
      {"じろう", Seat::Keys, "w,w,w,c,c,c,w,w,w,w", "820x1180", "0.25", "0.75"},
      {"さくら", Seat::Mouse, "w,w,w,w,w,w,c,w,w,w", "1180x820", "0", "0"},
      {"けんた", Seat::Keys, "w,w,w,w,w,w,w,w,w,w", "390x844", "0", "0"},
      {"たろう", Seat::Desktop, "-,w,w,w,w,w,w,w,c,w", "", "0", "0"}},
     "最高得点：3"},
};

void PrintTo(const GameCase& game, std::ostream* out) { *out << game.Title; }

const char* const Password = "pass1234";
const char* const TeacherPassword = "teacher-pass-1";
const char* const ShotStages[] = {"lobby", "question", "judged", "result"};
const char* const ProjectorSizes[] = {"1280x720", "1920x1080"};

std::string Token(const Member& member, int q) { return std::string(1, member.Tokens[2 * (q - 1)]); }

bool BrowserToolsPresent()
{
    return std::filesystem::exists("/usr/bin/chromium") && std::filesystem::exists("/usr/bin/chromedriver") &&
           std::system("/usr/bin/python3 -c 'import selenium' >/dev/null 2>&1") == 0;
}

class BrowserGame : public ::testing::TestWithParam<GameCase> {
protected:
    void SetUp() override
    {
        if (!BrowserToolsPresent()) GTEST_SKIP() << "chromium, chromium-driver or python3-selenium is not installed";
        Server = FindTestServer();
        if (!Server) GTEST_FAIL() << MissingServerMessage();
        Folder = GameFolder::OnServer(*Server);
        Folder->Apply();
        Db.CreateGameDatabase();
        ASSERT_TRUE(Db.Connected()) << GameDatabasePath();
        ASSERT_TRUE(Db.CreatePlayerTable());
        ASSERT_TRUE(Db.CreateQuizQaTable());
        int n = 0;
        for (const Question& question : Questions) {
            const std::string k = std::to_string(++n);
            const auto quoted = [](const char* text) { return "'" + Sjis(text) + "'"; };
            ASSERT_TRUE(Db.InsertText("QUIZQA", "N,SN,Q1,ANS,AN1,AN2,AN3,ANN",
                                      k + ",0," + quoted(question.Text) + "," + quoted(question.Right) + "," +
                                          quoted(question.Wrong[0]) + "," + quoted(question.Wrong[1]) + "," +
                                          quoted(question.Wrong[2]) + ",1"));
        }
        n = 0;
        for (const Member& member : GetParam().Members)
            ASSERT_TRUE(Db.InsertText("PLAYER", "N,PNAME,PASWD,POINTS",
                                      std::to_string(++n) + ",'" + Sjis(member.Name) + "','" + Password + "'," +
                                          member.PointsBefore));
    }

    void TearDown() override
    {
        Processes.clear();
        Db.DisconnectDatabase();
        Folder.reset();
    }

    PlayerProcess& Start(const std::string& program, const std::vector<std::string>& arguments, const std::string& log)
    {
        Processes.push_back(std::make_unique<PlayerProcess>(program, arguments, Logs.File(log)));
        return *Processes.back();
    }

    // quizgame-web on a free loopback port; its address.
    std::string StartGateway(double timeScale)
    {
        const std::string passwordFile = Logs.File("teacher.pass");
        EXPECT_EQ(std::system(("echo " + std::string(TeacherPassword) + " | " + QUIZGAME_WEB_PROGRAM + " --hash-password > " +
                               passwordFile).c_str()), 0);
        PlayerProcess& gateway = Start(QUIZGAME_WEB_PROGRAM,
                                       {"--listen", "127.0.0.1", "--port", "0", "--server", Folder->ServerName(), "--data",
                                        Folder->DataFolder(), "--workers", "2", "--time-scale", std::to_string(timeScale),
                                        "--teacher-password-file", passwordFile},
                                       "gateway.txt");
        const std::string serving = "quizgame-web: serving ";
        EXPECT_TRUE(WaitUntil({&gateway}, [&] { return gateway.Find(serving) || !gateway.Running(); }, 20s))
            << Logs.Read("gateway.txt");
        const PlayerLine* line = gateway.Find(serving);
        return line ? line->Text.substr(serving.size()) : std::string();
    }

    PlayerProcess& StartDesktop(int n, const Member& member, size_t together, double timeScale)
    {
        Homes.push_back(std::make_unique<TempFolder>());
        const TempFolder& home = *Homes.back();
        home.Write("games.dat", Folder->ServerName() + "\r\n" + Folder->DataFolder() + "\r\n" + std::to_string(n) +
                                    "\r\n" + Sjis(member.Name) + "\r\n" + Password + "\r\n");
        return Start(SiblingProgram("quiz_player"),
                     {"--dir", home.Path(), "--answers", member.Tokens, "--time-scale", std::to_string(timeScale),
                      "--wait-members", std::to_string(together)},
                     "desktop.txt");
    }

    PlayerProcess& StartBrowsers(const std::string& url, const GameCase& game)
    {
        std::vector<std::string> arguments = {BROWSER_PLAYERS_SCRIPT, "--url", url, "--wait-members",
                                              std::to_string(game.Members.size()), "--timeout", "150"};
        for (const Question& question : Questions) arguments.insert(arguments.end(), {"--correct", question.Right});
        for (const Member& member : game.Members) {
            if (member.Plays == Seat::Desktop) continue;
            arguments.insert(arguments.end(), {"--player", std::string(member.Name) + ":" + Password + ":" + member.Tokens +
                                                               (member.Plays == Seat::Keys ? ":keys:" : ":") + member.Size});
        }
        if (game.Shots) arguments.insert(arguments.end(), {"--shots", SHOTS_FOLDER});
        if (game.Projector) arguments.push_back("--probe-teacher");
        return Start("/usr/bin/python3", arguments, "browsers.txt");
    }

    // The classroom's screen, signed in and watching before any player comes.
    PlayerProcess& StartProjector(const std::string& url)
    {
        for (const char* size : ProjectorSizes)
            for (const char* stage : ShotStages)
                std::filesystem::remove(std::string(SHOTS_FOLDER) + "/projector-" + size + "-" + stage + ".png");
        PlayerProcess& projector = Start("/usr/bin/python3", {PROJECTOR_VIEW_SCRIPT, "--url", url, "--password", TeacherPassword,
                                                              "--shots", SHOTS_FOLDER, "--timeout", "150"},
                                         "projector.txt");
        EXPECT_TRUE(WaitUntil({&projector}, [&] { return projector.Find("projector watching") || !projector.Running(); }, 60s))
            << Logs.Read("projector.txt");
        return projector;
    }

    // What the players' sessions got of the teacher's side, what the screen showed beside the
    // players, and the teacher's CSV export of the game against the record tables and the play.
    void CheckTeacherSide(const GameCase& game, const PlayerProcess& projector, const PlayerProcess& browsers)
    {
        const std::string count = std::to_string(game.Members.size());
        for (const Member& member : game.Members) {
            if (member.Plays == Seat::Desktop) continue;
            for (const char* line : {" teacher-api 403", " projector-ws messages=0 closed=1008",
                                     " projector-page signin=True room=False"})
                EXPECT_TRUE(browsers.Find(member.Name + std::string(line))) << member.Name << line << browsers.Transcript();
        }
        std::string id;
        Db.SelectMax("QUIZLOGGAME", "ID", "", id);
        EXPECT_EQ(Db.CountRows("QUIZLOGMEMBER", "GAME=" + id), static_cast<int>(game.Members.size()));
        const std::vector<std::string> lines = {"projector early-correct 0", "projector result " + std::string(game.TopScore),
                                                "projector members " + count, "projector most-awaited " + count,
                                                "projector csv-game " + id + " 200", "projector csv-crlf yes"};
        for (const std::string& line : lines)
            EXPECT_TRUE(projector.Find(line)) << line << "\n" << projector.Transcript();

        const auto cells = [](std::string row) {
            std::vector<std::string> out;
            for (size_t tab; (tab = row.find('\t')) != std::string::npos; row.erase(0, tab + 1)) out.push_back(row.substr(0, tab));
            out.push_back(row);
            return out;
        };
        std::vector<std::vector<std::string>> rows;  // CP932 cells, but for the start time
        for (const PlayerLine& line : projector.All("projector csv ")) {
            rows.push_back(cells(Sjis(line.Text.substr(14))));
            if (rows.back().size() == 10) rows.back().erase(rows.back().begin() + 1);
        }
        ASSERT_FALSE(rows.empty()) << projector.Transcript();
        EXPECT_EQ(rows.front(), cells(Sjis("ゲーム\t問\t問題\t正解\t名前\t答え\t正誤\t順位\t勝者")));
        rows.erase(rows.begin());
        std::vector<std::vector<std::string>> recorded;
        const auto sign = [](bool yes, const char* mark) { return yes ? Sjis(mark) : std::string(); };
        for (const TextList& r : Db.ReadPage({"SELECT A.Q, A.PNAME, A.BUTTON, A.RIGHTANSWER, A.PLACE, A.WON, Q.QTEXT, Q.CORRECT,",
                                              "  Q.CHOICE1, Q.CHOICE2, Q.CHOICE3, Q.CHOICE4 FROM QUIZLOGANSWER A JOIN QUIZLOGQUESTION Q",
                                              "  ON Q.GAME = A.GAME AND Q.Q = A.Q WHERE A.GAME = " + id}, 0, 1000)) {
            const auto choice = [&r](const std::string& n) { return n >= "1" && n <= "4" ? r[7 + std::stoi(n)] : std::string(); };
            recorded.push_back({id, r[0], r[6], choice(r[7]), r[1], choice(r[2]),
                                r[2] == "0" ? "" : sign(r[3] == "1", "○") + sign(r[3] != "1", "×"), r[4], sign(r[5] == "1", "○")});
        }
        std::sort(rows.begin(), rows.end());
        std::sort(recorded.begin(), recorded.end());
        EXPECT_EQ(rows, recorded) << projector.Transcript();
        // Once each member's answer of each question, as the member played it.
        for (const Member& member : game.Members)
            for (int q = 1; q <= 10; ++q) {
                const auto row = [&](const std::vector<std::string>& r) {
                    return r.size() == 9 && r[1] == std::to_string(q) && r[4] == Sjis(member.Name);
                };
                ASSERT_EQ(std::count_if(rows.begin(), rows.end(), row), 1) << member.Name << " " << q;
                const std::vector<std::string>& r = *std::find_if(rows.begin(), rows.end(), row);
                EXPECT_EQ(r[6], sign(Token(member, q) == "c", "○") + sign(Token(member, q) == "w", "×")) << member.Name << " " << q;
                EXPECT_EQ(r[5] == r[3], Token(member, q) == "c") << member.Name << " " << q;
                EXPECT_EQ(r[5].empty(), Token(member, q) == "-") << member.Name << " " << q;
            }
        // The class's points on the final result, once the winners have theirs.
        double points = 0;
        for (const Member& member : game.Members) points += std::stod(Points(member.Name));
        const PlayerLine* total = projector.Find("projector class-total ");
        EXPECT_NEAR(total ? std::strtod(total->Text.substr(22).c_str(), nullptr) : -1, points, 1e-9) << projector.Transcript();
    }

    std::string Points(const char* name)
    {
        std::string points;
        Db.SelectFirstValue("POINTS", "PLAYER", "PNAME='" + Sjis(name) + "'", points);
        return points;
    }

    std::optional<TestServer> Server;
    std::unique_ptr<GameFolder> Folder;
    QuizDatabase Db{GameDatabasePath};
    TempFolder Logs;
    std::vector<std::unique_ptr<TempFolder>> Homes;
    std::vector<std::unique_ptr<PlayerProcess>> Processes;
};

TEST_P(BrowserGame, EveryPlayerSeesTheSameWinnersAndTheWinnersGainTheirPoints)
{
    const GameCase& game = GetParam();
    if (game.Shots)
        for (const char* stage : ShotStages)
            for (const Member& member : game.Members)
                if (member.Plays != Seat::Desktop)
                    std::filesystem::remove(std::string(SHOTS_FOLDER) + "/" + member.Size + "-" + stage + ".png");

    const std::string url = StartGateway(game.TimeScale);
    ASSERT_FALSE(url.empty()) << Logs.Read("gateway.txt");
    PlayerProcess* projector = game.Projector ? &StartProjector(url) : nullptr;
    PlayerProcess* desktop = nullptr;
    for (size_t i = 0; i < game.Members.size(); ++i)
        if (game.Members[i].Plays == Seat::Desktop)
            desktop = &StartDesktop(static_cast<int>(i + 1), game.Members[i], game.Members.size(), game.TimeScale);
    ASSERT_NE(desktop, nullptr);
    PlayerProcess& browsers = StartBrowsers(url, game);
    PlayerProcess& gateway = *Processes.front();

    std::vector<PlayerProcess*> all = {&gateway, desktop, &browsers};
    if (projector) all.push_back(projector);
    const bool ended = WaitUntil(all, [&] { return !browsers.Running() && (!projector || !projector->Running()); }, 180s);
    // The desktop copy ends once it has shown the result, which the browsers have seen as well.
    WaitUntil({&gateway, desktop}, [&] { return !desktop->Running(); }, 20s);
    const std::string transcripts = "browsers:\n" + browsers.Transcript() + Logs.Read("browsers.txt") + "desktop:\n" +
                                    desktop->Transcript() + "gateway:\n" + Logs.Read("gateway.txt") +
                                    (projector ? "projector:\n" + projector->Transcript() + Logs.Read("projector.txt") : "");
    ASSERT_TRUE(ended) << transcripts;
    EXPECT_EQ(browsers.ExitCode(), 0) << transcripts;
    EXPECT_EQ(desktop->ExitCode(), 0) << transcripts;
    if (projector) {
        EXPECT_EQ(projector->ExitCode(), 0) << transcripts;
    }
    ::kill(gateway.Pid(), SIGTERM);
    WaitUntil({&gateway}, [&] { return !gateway.Running(); }, 20s);
    EXPECT_EQ(gateway.ExitCode(), 0) << Logs.Read("gateway.txt");

    // What each member saw of every judgement and of the result, against the scripted answers.
    std::set<std::string> winners;
    for (int q = 1; q <= 10; ++q) {
        std::string winner = "無し";
        for (const Member& member : game.Members)
            if (Token(member, q) == "c") winner = member.Name;
        const std::string expected = "第 " + std::to_string(q) + " 問の正解者：" + winner;
        for (const Member& member : game.Members) {
            const std::string seen = member.Plays == Seat::Desktop
                                         ? "judged " + std::to_string(q) + " label=" + expected
                                         : std::string(member.Name) + " judged " + std::to_string(q) + " " + expected;
            const PlayerProcess& process = member.Plays == Seat::Desktop ? *desktop : browsers;
            EXPECT_TRUE(process.Find(seen)) << member.Name << " question " << q << ": " << expected << "\n" << transcripts;
        }
        // The screen's line names the question's own right answer, with the winner the players saw.
        const PlayerLine* shown = projector ? projector->Find("projector judged " + std::to_string(q) + " ") : nullptr;
        if (!projector) continue;
        ASSERT_TRUE(shown) << q << "\n" << transcripts;
        const auto asked = std::find_if(std::begin(Questions), std::end(Questions), [&](const Question& question) {
            return shown->Text.ends_with(std::string(" | ") + question.Text + "◆");
        });
        ASSERT_NE(asked, std::end(Questions)) << shown->Text;
        EXPECT_NE(shown->Text.find(std::string(" ") + asked->Right + "　正解者：" + winner + " | "), std::string::npos) << shown->Text;
    }
    for (const Member& member : game.Members)
        if (std::string(member.PointsAfter) != member.PointsBefore) winners.insert(std::string(member.Name) + ",");
    for (const Member& member : game.Members) {
        const std::string prefix = member.Plays == Seat::Desktop ? "result game=1 label=" : std::string(member.Name) + " result ";
        const PlayerProcess& process = member.Plays == Seat::Desktop ? *desktop : browsers;
        const PlayerLine* result = process.Find(prefix);
        ASSERT_TRUE(result) << member.Name << "\n" << transcripts;
        const std::string text = result->Text.substr(prefix.size());
        EXPECT_EQ(text.substr(0, text.find(' ')), game.TopScore) << member.Name;
        // The winners in member order, which is the order in which the members joined.
        std::string listed = text.substr(text.find("winners=") + 8);
        std::set<std::string> names;
        for (size_t comma; (comma = listed.find(',')) != std::string::npos; listed.erase(0, comma + 1))
            names.insert(listed.substr(0, comma + 1));
        EXPECT_EQ(names, winners) << member.Name << ": " << result->Text;
        EXPECT_EQ(listed, "") << member.Name << ": " << result->Text;
    }
    for (const Member& member : game.Members) EXPECT_EQ(Points(member.Name), member.PointsAfter) << member.Name;
    if (projector) CheckTeacherSide(game, *projector, browsers);

    std::vector<std::string> shots;
    for (const char* stage : ShotStages) {
        for (const Member& member : game.Members)
            if (game.Shots && member.Plays != Seat::Desktop) shots.push_back(std::string(member.Size) + "-" + stage);
        for (const char* size : ProjectorSizes)
            if (projector) shots.push_back(std::string("projector-") + size + "-" + stage);
    }
    for (const std::string& shot : shots) {
        std::ifstream png(std::string(SHOTS_FOLDER) + "/" + shot + ".png", std::ios::binary);
        char magic[8] = {};
        png.read(magic, 8);
        EXPECT_EQ(std::string(magic + 1, 3), "PNG") << shot;
    }
}

INSTANTIATE_TEST_SUITE_P(Games, BrowserGame, ::testing::ValuesIn(Games),
                         [](const ::testing::TestParamInfo<GameCase>& info) { return info.param.Title; });

}  // namespace
