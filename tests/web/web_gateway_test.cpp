// The web gateway without a browser: what it accepts from one (messages, sign-in texts, how
// often), and the gateway itself on a loopback port with the embedded engine, talked to by
// Qt's own HTTP and WebSocket clients as a page would.
#include "app/sjis_text.h"
#include "web/web_gateway.h"
#include "web/web_messages.h"
#include "web/teacher_password.h"

#include "support/firebird_fixture.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSignalSpy>
#include <QTest>
#include <QWebSocket>
#include <fstream>
#include <gtest/gtest.h>

namespace {

TEST(WebMessages, OnlyTheFourActionsInTheirExactShapeAreTaken)
{
    struct Case {
        const char* Message;
        std::optional<PlayerActionKind> Kind;
        int Button = 0;
    };
    const Case cases[] = {
        {R"({"type":"ready"})", PlayerActionKind::Ready},
        {R"({"type":"join"})", PlayerActionKind::Join},
        {R"({"type":"leave"})", PlayerActionKind::Leave},
        {R"({"type":"answer","button":3})", PlayerActionKind::Answer, 3},
        {R"({"type":"answer","button":0})", std::nullopt},
        {R"({"type":"answer","button":5})", std::nullopt},
        {R"({"type":"answer","button":2.5})", std::nullopt},
        {R"({"type":"answer","button":"2"})", std::nullopt},
        {R"({"type":"answer"})", std::nullopt},
        {R"({"type":"ready","sql":"DROP TABLE PLAYER"})", std::nullopt},
        {R"({"type":"judge"})", std::nullopt},
        {R"(["ready"])", std::nullopt},
        {"ready", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        const std::optional<PlayerAction> action = ParsePlayerAction(c.Message);
        EXPECT_EQ(action.has_value(), c.Kind.has_value()) << c.Message;
        if (action && c.Kind) {
            EXPECT_EQ(action->Kind, *c.Kind) << c.Message;
            EXPECT_EQ(action->Button, c.Button) << c.Message;
        }
    }
    // Too long to be a message of the page, however well formed.
    EXPECT_FALSE(ParsePlayerAction(R"({"type":"ready"})" + QByteArray(300, ' ')));
}

TEST(WebSignIn, NamesAndPasswordsFollowTheSettingsWindowsRules)
{
    struct Case {
        const char* Name;
        const char* Password;
        const char* Refusal;  // UTF-8, or nullptr when taken
    };
    const Case cases[] = {
        {"  たろう ", "abcd1234", nullptr},
        {"ta'ro", "abcd1234", "引用符「'」「\"」を入力しないで下さい"},
        {"taro", "abcd\"234", "引用符「'」「\"」を入力しないで下さい"},
        {"   ", "abcd1234", "名前を入力して下さい"},
        {"taro", "abc1234", "パスワードは半角8文字入力を行って下さい"},
        {"taro", "ａｂｃｄ", nullptr},  // 8 bytes in Shift-JIS: the rule counts bytes, as the desktop does
        {"taro", "abcd12345", nullptr},  // refused for its length below, as the box would
        {"ta\tro", "abcd1234", nullptr},
        {"たろう😀", "abcd1234", nullptr},
        {"じゅげむじゅげむごこうの", "abcd1234", nullptr},
    };
    for (const Case& c : cases) {
        const auto checked = CheckWebCredentials(QString::fromUtf8(c.Name), QString::fromUtf8(c.Password));
        const std::string* refusal = std::get_if<std::string>(&checked);
        if (c.Refusal) {
            ASSERT_TRUE(refusal) << c.Name;
            EXPECT_EQ(*refusal, Sjis(c.Refusal)) << c.Name;
        } else if (std::string(c.Name) == "  たろう " || std::string(c.Password) == "ａｂｃｄ") {
            ASSERT_FALSE(refusal) << c.Name;
            EXPECT_EQ(std::get<WebCredentials>(checked).Name, Sjis(c.Name[0] == ' ' ? "たろう" : c.Name));
        } else {
            // A control character, a character Shift-JIS cannot hold, too many bytes: said, never stored as "?".
            ASSERT_TRUE(refusal) << c.Name;
            EXPECT_FALSE(refusal->empty());
        }
    }
}

TEST(WebSignIn, AttemptsAreLimitedByAddressAndFailuresByName)
{
    // The limit per address as the settings give it: the default, and a school behind one NAT address.
    const struct {
        QStringList Arguments;
        int PerAddress;
    } cases[] = {{{"quizgame-web"}, 10}, {{"quizgame-web", "--sign-ins-per-minute", "300"}, 300}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.PerAddress);
        WebOptions options;
        ASSERT_EQ(ParseWebOptions(c.Arguments, options), "");
        SignInLimits limits(options.SignInsPerMinute);
        auto now = SignInLimits::Clock::now();
        for (int i = 0; i < c.PerAddress; ++i) EXPECT_TRUE(limits.Admit("n" + std::to_string(i), "192.0.2.1", now));
        EXPECT_FALSE(limits.Admit("another", "192.0.2.1", now));
        EXPECT_TRUE(limits.Admit("another", "192.0.2.2", now));
        EXPECT_TRUE(limits.Admit("another", "192.0.2.1", now + std::chrono::seconds(61)));

        // The name lock does not follow the address limit.
        for (int i = 0; i < SignInLimits::FailuresPerName; ++i) limits.Failed("taro", now);
        EXPECT_FALSE(limits.Admit("taro", "192.0.2.3", now + std::chrono::minutes(2)));
        EXPECT_TRUE(limits.Admit("taro", "192.0.2.3", now + std::chrono::minutes(11)));
    }
    WebOptions refused;
    EXPECT_NE(ParseWebOptions({"quizgame-web", "--sign-ins-per-minute", "0"}, refused), "");
}

// The gateway on a loopback port over an embedded database with two players and a question.
class Gateway : public GameDatabaseTest {
protected:
    void SetUp() override
    {
        GameDatabaseTest::SetUp();
        ASSERT_TRUE(Db.CreatePlayerTable());
        ASSERT_TRUE(Db.CreateQuizQaTable());
        AddPlayer("1", "'alice'", "'12345678'", "0");
        ASSERT_TRUE(Db.InsertText("QUIZQA", "N,SN,Q1,ANS,AN1,AN2,AN3,ANN", "1,0,'abcd','right','one','two','three',2"));
        Db.DisconnectDatabase();  // the embedded engine: the gateway's connections only
        WebOptions options;
        options.Port = 0;
        options.DataFolder = Folder->DataFolder();
        options.Workers = 2;
        options.TimeScale = 0.1;
        options.TeacherPasswordFile = Folder->DataFolder() + "teacher.pass";
        std::ofstream(options.TeacherPasswordFile) << HashTeacherPassword("teacher-secret") << "\n";
        Server = std::make_unique<WebGateway>(options);
        ASSERT_TRUE(Server->Start());
        Origin = "http://127.0.0.1:" + QByteArray::number(Server->Port());
    }
    void TearDown() override
    {
        Server.reset();
        GameDatabaseTest::TearDown();
    }

    struct Reply {
        int Status = 0;
        QJsonObject Body;
        QByteArray Cookie;
    };
    Reply Post(const QString& path, const QJsonObject& body, const QByteArray& origin, const QByteArray& host = {})
    {
        QNetworkRequest request(QUrl(QString::fromUtf8(Origin) + path));
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        if (!origin.isEmpty()) request.setRawHeader("Origin", origin);
        if (!host.isEmpty()) request.setRawHeader("Host", host);
        // Each request carries only the cookie the test gives it.
        request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
        QNetworkReply* reply = Network.post(request, QJsonDocument(body).toJson());
        QSignalSpy finished(reply, &QNetworkReply::finished);
        EXPECT_TRUE(finished.wait(10000));
        Reply result{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                     QJsonDocument::fromJson(reply->readAll()).object(), reply->rawHeader("Set-Cookie")};
        reply->deleteLater();
        return result;
    }
    Reply Get(const QString& path, const QByteArray& cookie)
    {
        QNetworkRequest request(QUrl(QString::fromUtf8(Origin) + path));
        request.setRawHeader("Cookie", cookie.left(cookie.indexOf(';')));
        request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
        QNetworkReply* reply = Network.get(request);
        QSignalSpy finished(reply, &QNetworkReply::finished);
        EXPECT_TRUE(finished.wait(10000));
        Reply result{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                     QJsonDocument::fromJson(reply->readAll()).object(), {}};
        reply->deleteLater();
        return result;
    }
    Reply SignIn(const char* name, const char* password)
    {
        return Post("/api/signin", {{"name", QString::fromUtf8(name)}, {"password", password}}, Origin);
    }
    // A WebSocket as a page opens it; the cookie is the session's part of Set-Cookie.
    std::unique_ptr<QWebSocket> Open(const QByteArray& cookie, const QByteArray& origin, const QString& path = "/ws")
    {
        auto socket = std::make_unique<QWebSocket>(QString::fromUtf8(origin));
        // Kept from the start: a view may come while the test waits on another socket.
        QWebSocket* s = socket.get();
        Received[s].clear();
        QObject::connect(s, &QWebSocket::textMessageReceived, [this, s](const QString& text) {
            Received[s].append(QJsonDocument::fromJson(text.toUtf8()).object());
        });
        QNetworkRequest request(QUrl("ws://127.0.0.1:" + QString::number(Server->Port()) + path));
        request.setRawHeader("Cookie", cookie.left(cookie.indexOf(';')));
        socket->open(request);
        return socket;
    }
    // The next "view" message that has the key, or an empty object; messages before it are passed.
    QJsonObject NextView(QWebSocket& socket, const QString& key, int timeoutMs = 10000)
    {
        QList<QJsonObject>& received = Received[&socket];
        QJsonObject found;
        static_cast<void>(QTest::qWaitFor([&] {
            while (found.isEmpty() && !received.isEmpty()) {
                const QJsonObject message = received.takeFirst();
                if (message.value("type") == "view" && message.contains(key)) found = message;
            }
            return !found.isEmpty();
        }, timeoutMs));
        return found;
    }

    QNetworkAccessManager Network;
    QHash<QWebSocket*, QList<QJsonObject>> Received;
    std::unique_ptr<WebGateway> Server;
    QByteArray Origin;
};

TEST_F(Gateway, SignInSetsAnHttpOnlySameSiteCookieAndRefusesOthersPagesAndWrongHosts)
{
    const Reply wrong = SignIn("alice", "87654321");
    EXPECT_FALSE(wrong.Body.value("ok").toBool());
    EXPECT_EQ(wrong.Body.value("message").toString(), QString::fromUtf8("パスワードが登録されているものと異なります"));
    EXPECT_TRUE(wrong.Cookie.isEmpty());

    const Reply registered = SignIn("ぼぶ", "abcd1234");
    EXPECT_TRUE(registered.Body.value("ok").toBool());
    EXPECT_EQ(registered.Body.value("message").toString(), QString::fromUtf8("名前が登録出来ました。"));
    EXPECT_TRUE(registered.Cookie.startsWith("quiz_session="));
    EXPECT_TRUE(registered.Cookie.contains("HttpOnly") && registered.Cookie.contains("SameSite=Strict"));

    // A page of another site, or none, and a request that names another host, change nothing.
    EXPECT_EQ(Post("/api/signin", {{"name", "alice"}, {"password", "12345678"}}, "http://evil.example").Status, 403);
    EXPECT_EQ(Post("/api/signin", {{"name", "alice"}, {"password", "12345678"}}, {}).Status, 403);
    EXPECT_EQ(Post("/api/signin", {{"name", "alice"}, {"password", "12345678"}}, "http://evil.example:80",
                   "evil.example:80").Status, 421);

    // Guessing a password runs into the name's limit.
    for (int i = 0; i < SignInLimits::FailuresPerName; ++i) SignIn("alice", "00000000");
    const Reply locked = SignIn("alice", "12345678");
    EXPECT_EQ(locked.Status, 429);
    EXPECT_FALSE(locked.Body.value("ok").toBool());
}

TEST_F(Gateway, ThePageSocketPlaysTheGameAndNeverSeesTheAnswerBeforeItIsShown)
{
    const Reply alice = SignIn("alice", "12345678");
    ASSERT_TRUE(alice.Body.value("ok").toBool());

    // Without the session, or from another site's page, the socket is refused.
    for (const auto& [cookie, origin] : {std::pair<QByteArray, QByteArray>{"quiz_session=nothing;", Origin},
                                         std::pair<QByteArray, QByteArray>{alice.Cookie, "http://evil.example"}}) {
        auto refused = Open(cookie, origin);
        QSignalSpy closed(refused.get(), &QWebSocket::disconnected);
        EXPECT_TRUE(closed.wait(5000)) << origin.toStdString();
    }

    auto socket = Open(alice.Cookie, Origin);
    const QJsonObject lobby = NextView(*socket, "player");
    ASSERT_FALSE(lobby.isEmpty());
    EXPECT_EQ(lobby.value("player").toString(), "alice(N:1) Points:0");
    EXPECT_TRUE(lobby.value("can_ready").toBool());

    // Messages that are not the page's are refused without effect; ready starts the game.
    for (const char* bad : {"DROP TABLE PLAYER", R"({"type":"answer","button":9})"}) socket->sendTextMessage(bad);
    socket->sendTextMessage(R"({"type":"ready"})");
    const QJsonObject question = NextView(*socket, "choices");
    ASSERT_FALSE(question.isEmpty());
    const int right = static_cast<int>(question.value("choices").toArray().toVariantList().indexOf("right")) + 1;
    ASSERT_GE(right, 1);
    EXPECT_EQ(question.value("correct").toInt(), 0);
    socket->sendTextMessage(QString(R"({"type":"answer","button":%1})").arg(right));
    QJsonObject shown;
    EXPECT_TRUE(QTest::qWaitFor([&] {
        shown = NextView(*socket, "correct", 200);
        return !shown.isEmpty() && shown.value("correct").toInt() != 0;
    }, 10000));
    EXPECT_EQ(shown.value("correct").toInt(), right);
    EXPECT_EQ(shown.value("chosen").toInt(), right);
    EXPECT_NE(shown.value("progress").toString().indexOf(QString::fromUtf8("問の答え：%1").arg(right)), -1);

    // Signing in again elsewhere takes the game over; this page is closed.
    QSignalSpy closed(socket.get(), &QWebSocket::disconnected);
    ASSERT_TRUE(SignIn("alice", "12345678").Body.value("ok").toBool());
    EXPECT_TRUE(!closed.isEmpty() || closed.wait(5000));
}

// A page that goes away leaves its game standing still, as a desktop copy that stopped: the
// others give it up at the barrier and play on. Back, the page finds its game where it stood,
// behind the room, and waits for the next game.
TEST_F(Gateway, APageGoneLongerThanTheBarrierWaitsForTheNextGameWhenItComesBack)
{
    const Reply alice = SignIn("alice", "12345678");
    const Reply bob = SignIn("bob", "abcd1234");
    ASSERT_TRUE(alice.Body.value("ok").toBool() && bob.Body.value("ok").toBool());
    auto aliceSocket = Open(alice.Cookie, Origin);
    auto bobSocket = Open(bob.Cookie, Origin);
    ASSERT_FALSE(NextView(*aliceSocket, "player").isEmpty());
    ASSERT_FALSE(NextView(*bobSocket, "player").isEmpty());
    aliceSocket->sendTextMessage(R"({"type":"ready"})");
    bobSocket->sendTextMessage(R"({"type":"ready"})");
    ASSERT_FALSE(NextView(*bobSocket, "choices").isEmpty());
    bobSocket.reset();  // the tab is closed in the first question

    // Alice plays on alone: the game reaches its second question.
    EXPECT_TRUE(QTest::qWaitFor([&] { return NextView(*aliceSocket, "question_no", 200).value("question_no").toInt() >= 2; },
                                30000));
    bobSocket = Open(bob.Cookie, Origin);
    QJsonObject back;
    EXPECT_TRUE(QTest::qWaitFor([&] {
        back = NextView(*bobSocket, "state", 200);
        return back.value("state") == "behind";
    }, 20000));
    EXPECT_EQ(back.value("progress").toString(), QString::fromUtf8("遅れたため、次のゲームから参加します"));
}

// The projector's socket is the teacher's only; it shows the room without a row in it, and the
// correct answer only once the room shows it.
TEST_F(Gateway, TheProjectorIsTheTeachersAndShowsTheCorrectAnswerOnlyOnceTheRoomDoes)
{
    const Reply alice = SignIn("alice", "12345678");
    auto refusedTeacher = Post("/api/teacher/signin", {{"password", "teacher-secreT"}}, Origin);
    EXPECT_FALSE(refusedTeacher.Body.value("ok").toBool());
    const Reply teacher = Post("/api/teacher/signin", {{"password", "teacher-secret"}}, Origin);
    ASSERT_TRUE(teacher.Body.value("ok").toBool());
    ASSERT_TRUE(teacher.Cookie.startsWith("quiz_teacher=") && teacher.Cookie.contains("HttpOnly"));

    // The teacher's API is the teacher's only, and checks what it is asked.
    EXPECT_EQ(Get("/api/teacher/players", alice.Cookie).Status, 403);
    EXPECT_EQ(Get("/api/teacher/players", teacher.Cookie).Body.value("players").toArray().size(), 1);
    EXPECT_EQ(Get("/api/teacher/games?from=2026-02-30", teacher.Cookie).Status, 400);
    EXPECT_EQ(Get("/api/teacher/games?to=1%27%20OR%201=1", teacher.Cookie).Status, 400);

    // A player's session, another site's page, or no cookie: refused.
    for (const auto& [cookie, origin] : {std::pair<QByteArray, QByteArray>{alice.Cookie, Origin},
                                         std::pair<QByteArray, QByteArray>{teacher.Cookie, "http://evil.example"},
                                         std::pair<QByteArray, QByteArray>{"quiz_teacher=" + alice.Cookie.mid(13), Origin}}) {
        auto refused = Open(cookie, origin, "/projector/ws");
        QSignalSpy closed(refused.get(), &QWebSocket::disconnected);
        EXPECT_TRUE(closed.wait(5000)) << cookie.toStdString();
    }

    auto projector = Open(teacher.Cookie, Origin, "/projector/ws");
    auto player = Open(alice.Cookie, Origin);
    ASSERT_FALSE(NextView(*player, "player").isEmpty());
    player->sendTextMessage(R"({"type":"ready"})");
    QJsonObject seen;
    bool correctBeforeShown = false;
    EXPECT_TRUE(QTest::qWaitFor([&] {
        for (QJsonObject& message : Received[projector.get()]) {
            const QString stage = message.value("stage").toString();
            correctBeforeShown = correctBeforeShown || (stage == "question" && message.contains("correct"));
            if (stage == "shown") seen = message;
        }
        Received[projector.get()].clear();
        return !seen.isEmpty();
    }, 20000));
    EXPECT_FALSE(correctBeforeShown);
    const QJsonArray choices = seen.value("choices").toArray();
    ASSERT_EQ(choices.size(), 4);
    EXPECT_EQ(choices.at(seen.value("correct").toInt() - 1).toString(), "right");
    EXPECT_EQ(seen.value("text").toString(), "abcd");
    // The room has its one player only: the watch holds no row of its own.
    EXPECT_EQ(seen.value("members").toArray().size(), 1);
}

}  // namespace
