#include "web/web_gateway.h"

#include "app/close_signals.h"
#include "app/sjis_text.h"
#include "player/registration.h"
#include "web/teacher_api.h"
#include "web/teacher_password.h"

#include <QFile>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QtHttpServer/QHttpServerRequest>
#include <QtHttpServer/QHttpServerResponder>
#include <QtHttpServer/QHttpServerResponse>
#include <chrono>

namespace {

using Status = QHttpServerResponse::StatusCode;

const QByteArray CookieName = "quiz_session";
const QByteArray TeacherCookieName = "quiz_teacher";
// A teacher's sign-in lasts a school day.
constexpr auto TeacherSessionLength = std::chrono::hours(10);
// No sign-in a page sends comes near this.
constexpr qsizetype MaxSignInBytes = 1024;
// Messages a socket may send that are refused before it is closed.
constexpr int MaxStrikes = 20;

QByteArray Header(const QHttpServerRequest& request, const QByteArray& name)
{
    for (const auto& [key, value] : request.headers())
        if (key.compare(name, Qt::CaseInsensitive) == 0) return value;
    return {};
}

// The value of the named cookie in a Cookie header, or empty.
QByteArray CookieValue(const QByteArray& cookieHeader, const QByteArray& name)
{
    for (const QByteArray& part : cookieHeader.split(';')) {
        const QByteArray cookie = part.trimmed();
        if (cookie.startsWith(name + "=")) return cookie.mid(name.size() + 1);
    }
    return {};
}

QByteArray NewToken()
{
    quint32 words[8];
    QRandomGenerator::system()->fillRange(words);
    return QByteArray(reinterpret_cast<const char*>(words), sizeof words).toHex();
}

// Every response: not kept, not framed, not sniffed, and its page runs only its own files.
QHttpServerResponse WithSafetyHeaders(QHttpServerResponse response, const QByteArray& host)
{
    response.setHeader("Cache-Control", "no-store");
    response.setHeader("X-Content-Type-Options", "nosniff");
    response.setHeader("X-Frame-Options", "DENY");
    response.setHeader("Referrer-Policy", "no-referrer");
    response.setHeader("Content-Security-Policy",
                       "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; connect-src 'self' ws://" +
                           host + "; base-uri 'none'; form-action 'none'; frame-ancestors 'none'");
    return response;
}

QHttpServerResponse Json(const QJsonObject& object, Status status = Status::Ok)
{
    return QHttpServerResponse("application/json", QJsonDocument(object).toJson(QJsonDocument::Compact), status);
}

QHttpServerResponse Refusal(const std::string& sjisMessage, Status status = Status::Ok)
{
    return Json({{"ok", false}, {"message", FromSjis(sjisMessage)}}, status);
}

// The built-in file a page's path names, or empty: the players' page, the projector's and the
// teacher's, each with its script and style.
QString PageFile(const QString& path)
{
    if (path == "/" || path == "/index.html") return "index.html";
    if (path == "/projector" || path == "/teacher") return path.mid(1) + ".html";
    static const QStringList files = {"app.js", "app.css", "projector.js", "projector.css", "teacher.js", "teacher.css"};
    return files.contains(path.mid(1)) ? path.mid(1) : QString();
}

QHttpServerResponse Resource(const QString& name)
{
    QFile file(":/web/" + name);
    if (!file.open(QIODevice::ReadOnly)) return QHttpServerResponse(Status::NotFound);
    const QByteArray type = name.endsWith(".html") ? "text/html; charset=utf-8"
                            : name.endsWith(".js") ? "text/javascript; charset=utf-8"
                                                   : "text/css; charset=utf-8";
    return QHttpServerResponse(type, file.readAll());
}

int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

WebGateway::WebGateway(const WebOptions& options)
    : Options(options), Accounts([path = options.DatabasePath()] { return path; }), Limits(options.SignInsPerMinute)
{
}

WebGateway::~WebGateway() { Stop(); }

bool WebGateway::Start()
{
    auto* server = new QTcpServer(this);
    if (!server->listen(QHostAddress(QString::fromStdString(Options.Listen)), Options.Port)) return false;
    BoundPort = server->serverPort();
    bind(server);
    connect(this, &QAbstractHttpServer::newWebSocketConnection, this, &WebGateway::OnWebSocket);
    for (int i = 0; i < Options.Workers; ++i) {
        Workers.push_back(std::make_unique<QThread>());
        Workers.back()->start();
    }
    Accounts.CreateGameDatabase();
    Accounts.ConnectDatabase();
    ReclaimCloseSignals();
    // The record's tables are made here, before any player's game can run: a table created by
    // another connection while a player's program creates the room's tables can make that fail.
    PrepareRecord();
    Watch = new RoomWatch(Options.DatabasePath(), static_cast<int>(500 * Options.TimeScale));
    Watch->moveToThread(&WatchThread);
    connect(Watch, &RoomWatch::View, this, &WebGateway::OnProjectorView);
    WatchThread.start();
    RoomWatch* watch = Watch;
    QMetaObject::invokeMethod(watch, [watch] {
        watch->Start();
        ReclaimCloseSignals();
    });
    return true;
}

void WebGateway::Stop()
{
    if (Watch) {
        RoomWatch* watch = Watch;
        QMetaObject::invokeMethod(watch, [watch] { watch->Stop(); }, Qt::BlockingQueuedConnection);
        WatchThread.quit();
        WatchThread.wait();
        WatchFiguresKept = Watch->FiguresText();
        delete Watch;
        Watch = nullptr;
    }
    for (const auto& projector : Projectors)
        if (projector) projector->close();
    Projectors.clear();
    for (auto& [number, session] : Sessions) {
        if (session->Socket) session->Socket->close();
        WebPlayer* game = session->Game;
        QMetaObject::invokeMethod(game, [game] { game->Stop(); delete game; }, Qt::BlockingQueuedConnection);
    }
    Sessions.clear();
    for (auto& worker : Workers) {
        worker->quit();
        worker->wait();
    }
    Workers.clear();
    Accounts.DisconnectDatabase();
}

bool WebGateway::ConnectAccounts()
{
    if (!Accounts.Connected()) {
        Accounts.CreateGameDatabase();
        Accounts.ConnectDatabase();
        ReclaimCloseSignals();
    }
    if (Accounts.Connected() && !RecordPrepared) PrepareRecord();
    return Accounts.Connected();
}

void WebGateway::PrepareRecord()
{
    RunUntilConnectionLost([this] { RecordPrepared = Accounts.Connected() && GameRecord(Accounts).Prepare(); });
}

bool WebGateway::OwnHost(const QByteArray& host) const
{
    const QByteArray port = ":" + QByteArray::number(BoundPort);
    if (host == QByteArray::fromStdString(Options.Listen) + port) return true;
    return QHostAddress(QString::fromStdString(Options.Listen)).isLoopback() && host == "localhost" + port;
}

bool WebGateway::OwnOrigin(const QByteArray& origin, const QByteArray& host) const
{
    return OwnHost(host) && origin == "http://" + host;
}

bool WebGateway::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    // A WebSocket handshake that is true (handled) and writes nothing is handed on to OnWebSocket;
    // one that is false is answered as not found and closed.
    if (Header(request, "Upgrade").compare("websocket", Qt::CaseInsensitive) == 0)
        return (request.url().path() == "/ws" || request.url().path() == "/projector/ws") &&
               OwnOrigin(Header(request, "Origin"), Header(request, "Host"));
    const QByteArray host = Header(request, "Host");
    const QString path = request.url().path();
    const bool get = request.method() == QHttpServerRequest::Method::Get;
    const bool post = request.method() == QHttpServerRequest::Method::Post;
    QHttpServerResponse response(Status::NotFound);
    if (!OwnHost(host))
        response = QHttpServerResponse(Status::MisdirectedRequest);
    else if (post && !OwnOrigin(Header(request, "Origin"), host))
        response = QHttpServerResponse(Status::Forbidden);
    else if (const QString file = PageFile(path); get && !file.isEmpty())
        response = Resource(file);
    else if (get && path == "/api/me")
        response = Me(request);
    else if (get && path == "/api/teacher/me")
        response = Json({{"signed_in", IsTeacher(Header(request, "Cookie"))}});
    else if (post && path == "/api/teacher/signin")
        response = TeacherSignIn(request);
    else if (post && path == "/api/teacher/signout")
        response = TeacherSignOut(request);
    else if ((get || post) && path.startsWith("/api/teacher/"))
        response = Teacher(request, path.mid(13), post);
    else if (post && path == "/api/signin")
        response = SignIn(request);
    else if (post && path == "/api/signout")
        response = SignOut(request);
    WithSafetyHeaders(std::move(response), host).write(makeResponder(request, socket));
    return true;
}

void WebGateway::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket)
{
    QHttpServerResponse(Status::NotFound).write(makeResponder(request, socket));
}

WebGateway::Session* WebGateway::SessionOf(const QByteArray& cookieHeader)
{
    const QByteArray token = CookieValue(cookieHeader, CookieName);
    for (auto& [number, session] : Sessions)
        if (!token.isEmpty() && session->Token == token) return session.get();
    return nullptr;
}

bool WebGateway::IsTeacher(const QByteArray& cookieHeader)
{
    const auto now = std::chrono::steady_clock::now();
    std::erase_if(TeacherTokens, [now](const auto& entry) { return entry.second <= now; });
    const QByteArray token = CookieValue(cookieHeader, TeacherCookieName);
    return !token.isEmpty() && TeacherTokens.count(token) > 0;
}

QHttpServerResponse WebGateway::TeacherSignIn(const QHttpServerRequest& request)
{
    const QByteArray body = request.body();
    if (body.size() > MaxSignInBytes) return QHttpServerResponse(Status::PayloadTooLarge);
    const QJsonDocument document = QJsonDocument::fromJson(body);
    const QJsonObject form = document.object();
    if (!document.isObject() || form.size() != 1 || !form.value("password").isString())
        return QHttpServerResponse(Status::BadRequest);
    // Wrong guesses lock the address that made them, not the teacher: a pupil cannot lock the
    // teacher out.
    const std::string key = "\x01teacher@" + request.remoteAddress().toString().toStdString();
    const auto now = SignInLimits::Clock::now();
    if (!Limits.Admit(key, request.remoteAddress().toString(), now))
        return Refusal(TooManyAttemptsMessage(), Status::TooManyRequests);
    const std::optional<std::string> stored = ReadTeacherPasswordFile(Options.TeacherPasswordFile);
    if (!stored) return Refusal(Sjis("先生のパスワードが設定されていません。サーバーの設定で設定して下さい"));
    if (!CheckTeacherPassword(form.value("password").toString(), *stored)) {
        Limits.Failed(key, now);
        return Refusal(Sjis("パスワードが違います"));
    }
    const QByteArray token = NewToken();
    TeacherTokens[token] = std::chrono::steady_clock::now() + TeacherSessionLength;
    QHttpServerResponse response = Json({{"ok", true}});
    response.setHeader("Set-Cookie", TeacherCookieName + "=" + token + "; Path=/; HttpOnly; SameSite=Strict");
    return response;
}

QHttpServerResponse WebGateway::TeacherSignOut(const QHttpServerRequest& request)
{
    TeacherTokens.erase(CookieValue(Header(request, "Cookie"), TeacherCookieName));
    QHttpServerResponse response = Json({{"ok", true}});
    response.setHeader("Set-Cookie", TeacherCookieName + "=; Path=/; HttpOnly; SameSite=Strict; Max-Age=0");
    return response;
}

QHttpServerResponse WebGateway::Teacher(const QHttpServerRequest& request, const QString& name, bool post)
{
    if (!IsTeacher(Header(request, "Cookie")))
        return Json({{"ok", false}, {"message", QString::fromUtf8("先生としてサインインして下さい")}}, Status::Forbidden);
    std::optional<QHttpServerResponse> answer;
    const auto lost = RunUntilConnectionLost([&] {
        if (ConnectAccounts()) answer.emplace(AnswerTeacher(Accounts, name, post, QUrlQuery(request.url()), request.body()));
    });
    if (lost || !answer) return Refusal(Sjis("データベースに接続できません。しばらくしてから再度行って下さい"));
    return std::move(*answer);
}

void WebGateway::OnProjectorView(const QByteArray& json)
{
    ProjectorView = json;
    std::erase_if(Projectors, [](const QPointer<QWebSocket>& socket) { return socket.isNull(); });
    for (const auto& projector : Projectors) projector->sendTextMessage(QString::fromUtf8(json));
}

void WebGateway::OpenProjector(QWebSocket* socket)
{
    // Read-only: whatever it sends is dropped, and a socket that keeps sending is closed.
    socket->setMaxAllowedIncomingMessageSize(256);
    auto strikes = std::make_shared<int>(0);
    connect(socket, &QWebSocket::textMessageReceived, socket, [socket, strikes] {
        if (++*strikes > MaxStrikes) socket->close(QWebSocketProtocol::CloseCodePolicyViolated, "read-only");
    });
    Projectors.emplace_back(socket);
    if (!ProjectorView.isEmpty()) socket->sendTextMessage(QString::fromUtf8(ProjectorView));
}

QHttpServerResponse WebGateway::Me(const QHttpServerRequest& request)
{
    const Session* session = SessionOf(Header(request, "Cookie"));
    QJsonObject me{{"signed_in", session != nullptr}};
    if (session) me["name"] = FromSjis(session->Player.Name);
    return Json(me);
}

QHttpServerResponse WebGateway::SignIn(const QHttpServerRequest& request)
{
    const QByteArray body = request.body();
    if (body.size() > MaxSignInBytes) return QHttpServerResponse(Status::PayloadTooLarge);
    const QJsonDocument document = QJsonDocument::fromJson(body);
    const QJsonObject form = document.object();
    if (!document.isObject() || form.size() != 2 || !form.value("name").isString() || !form.value("password").isString())
        return QHttpServerResponse(Status::BadRequest);
    const auto checked = CheckWebCredentials(form.value("name").toString(), form.value("password").toString());
    if (const auto* message = std::get_if<std::string>(&checked)) return Refusal(*message);
    const WebCredentials& credentials = std::get<WebCredentials>(checked);
    const auto now = SignInLimits::Clock::now();
    if (!Limits.Admit(credentials.Name, request.remoteAddress().toString(), now))
        return Refusal(TooManyAttemptsMessage(), Status::TooManyRequests);

    SignInResult result;
    const auto lost = RunUntilConnectionLost([&] {
        if (ConnectAccounts()) result = SignInOrRegister(Accounts, credentials.Name, credentials.Password);
    });
    if (lost || !Accounts.Connected()) return Refusal(Sjis("データベースに接続できません。しばらくしてから再度行って下さい"));
    if (result.Outcome == SignInOutcome::WrongPassword) Limits.Failed(credentials.Name, now);
    if (result.Outcome == SignInOutcome::WrongPassword || result.Outcome == SignInOutcome::RegistrationFailed)
        return Refusal(SignInMessage(result.Outcome));

    const Session& session = SessionFor({result.PlayerNo, credentials.Name});
    QHttpServerResponse response = Json({{"ok", true}, {"name", FromSjis(credentials.Name)},
                                         {"message", FromSjis(SignInMessage(result.Outcome))}});
    response.setHeader("Set-Cookie", CookieName + "=" + session.Token + "; Path=/; HttpOnly; SameSite=Strict");
    return response;
}

QHttpServerResponse WebGateway::SignOut(const QHttpServerRequest& request)
{
    if (Session* session = SessionOf(Header(request, "Cookie"))) EndSession(*session);
    QHttpServerResponse response = Json({{"ok", true}});
    response.setHeader("Set-Cookie", CookieName + "=; Path=/; HttpOnly; SameSite=Strict; Max-Age=0");
    return response;
}

WebGateway::Session& WebGateway::SessionFor(const GamePlayer& player)
{
    auto& slot = Sessions[player.No];
    if (slot) {
        // The player signed in again (another tab or device): the game goes on there, and the
        // page that had it is signed out.
        slot->Token = NewToken();
        if (slot->Socket) slot->Socket->close(QWebSocketProtocol::CloseCodeNormal, "signed in elsewhere");
        return *slot;
    }
    slot = std::make_unique<Session>();
    slot->Token = NewToken();
    slot->Player = player;
    const TGameTiming timing{static_cast<int>(500 * Options.TimeScale), static_cast<uint32_t>(1000 * Options.TimeScale),
                             static_cast<uint32_t>(2000 * Options.TimeScale)};
    auto* game = new WebPlayer(Options.DatabasePath(), player, timing, &PlayerFigures);
    game->moveToThread(Workers[NextWorker++ % Workers.size()].get());
    slot->Game = game;
    const int32_t number = player.No;
    connect(game, &WebPlayer::Message, this, [this, number](const QByteArray& json, qint64 changedAtNs) {
        const auto found = Sessions.find(number);
        if (found == Sessions.end() || !found->second->Socket) return;
        found->second->Socket->sendTextMessage(QString::fromUtf8(json));
        PlayerFigures.AddDelivery((NowNs() - changedAtNs) / 1000);
    });
    QMetaObject::invokeMethod(game, [game] {
        game->Start();
        ReclaimCloseSignals();
    });
    return *slot;
}

void WebGateway::EndSession(Session& session)
{
    if (session.Socket) session.Socket->close(QWebSocketProtocol::CloseCodeNormal, "signed out");
    WebPlayer* game = session.Game;
    QMetaObject::invokeMethod(game, [game] {
        game->Stop();
        delete game;
    });
    Sessions.erase(session.Player.No);
}

void WebGateway::OnWebSocket()
{
    while (hasPendingWebSocketConnections()) {
        QWebSocket* socket = nextPendingWebSocketConnection().release();
        socket->setParent(this);
        connect(socket, &QWebSocket::disconnected, socket, &QObject::deleteLater);
        const QByteArray host = socket->request().rawHeader("Host");
        const QByteArray cookies = socket->request().rawHeader("Cookie");
        if (socket->requestUrl().path() == "/projector/ws") {
            if (OwnOrigin(socket->origin().toUtf8(), host) && IsTeacher(cookies))
                OpenProjector(socket);
            else
                socket->close(QWebSocketProtocol::CloseCodePolicyViolated, "refused");
            continue;
        }
        Session* session = SessionOf(cookies);
        if (socket->requestUrl().path() != "/ws" || !OwnOrigin(socket->origin().toUtf8(), host) || !session) {
            socket->close(QWebSocketProtocol::CloseCodePolicyViolated, "refused");
            continue;
        }
        socket->setMaxAllowedIncomingMessageSize(4096);
        if (session->Socket) session->Socket->close(QWebSocketProtocol::CloseCodeNormal, "opened again");
        session->Socket = socket;
        session->Strikes = 0;
        const int32_t number = session->Player.No;
        connect(socket, &QWebSocket::textMessageReceived, this,
                [this, number, socket](const QString& text) { OnText(number, socket, text); });
        connect(socket, &QWebSocket::disconnected, this, [this, number, socket] {
            const auto found = Sessions.find(number);
            if (found == Sessions.end() || found->second->Socket != socket) return;
            WebPlayer* game = found->second->Game;
            QMetaObject::invokeMethod(game, [game] { game->SetAttached(false); });
        });
        WebPlayer* game = session->Game;
        QMetaObject::invokeMethod(game, [game] { game->SetAttached(true); });
    }
}

void WebGateway::OnText(int32_t number, QWebSocket* socket, const QString& text)
{
    const auto found = Sessions.find(number);
    if (found == Sessions.end() || found->second->Socket != socket) return;
    Session& session = *found->second;
    const std::optional<PlayerAction> action = ParsePlayerAction(text.toUtf8());
    if (!action) {
        if (++session.Strikes > MaxStrikes) socket->close(QWebSocketProtocol::CloseCodePolicyViolated, "refused");
        return;
    }
    WebPlayer* game = session.Game;
    QMetaObject::invokeMethod(game, [game, act = *action] { game->Act(act); });
}
