#include "web/web_gateway.h"

#include "app/close_signals.h"
#include "app/sjis_text.h"
#include "player/registration.h"

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

QHttpServerResponse Resource(const QString& name, const QByteArray& mimeType)
{
    QFile file(":/web/" + name);
    if (!file.open(QIODevice::ReadOnly)) return QHttpServerResponse(Status::NotFound);
    return QHttpServerResponse(mimeType, file.readAll());
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
    return true;
}

void WebGateway::Stop()
{
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
        return request.url().path() == "/ws" && OwnOrigin(Header(request, "Origin"), Header(request, "Host"));
    const QByteArray host = Header(request, "Host");
    const QString path = request.url().path();
    const bool get = request.method() == QHttpServerRequest::Method::Get;
    const bool post = request.method() == QHttpServerRequest::Method::Post;
    QHttpServerResponse response(Status::NotFound);
    if (!OwnHost(host))
        response = QHttpServerResponse(Status::MisdirectedRequest);
    else if (post && !OwnOrigin(Header(request, "Origin"), host))
        response = QHttpServerResponse(Status::Forbidden);
    else if (get && (path == "/" || path == "/index.html"))
        response = Resource("index.html", "text/html; charset=utf-8");
    else if (get && path == "/app.js")
        response = Resource("app.js", "text/javascript; charset=utf-8");
    else if (get && path == "/app.css")
        response = Resource("app.css", "text/css; charset=utf-8");
    else if (get && path == "/api/me")
        response = Me(request);
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
    for (const QByteArray& part : cookieHeader.split(';')) {
        const QByteArray cookie = part.trimmed();
        if (!cookie.startsWith(CookieName + "=")) continue;
        const QByteArray token = cookie.mid(CookieName.size() + 1);
        for (auto& [number, session] : Sessions)
            if (!token.isEmpty() && session->Token == token) return session.get();
    }
    return nullptr;
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
        if (!Accounts.Connected()) {
            Accounts.CreateGameDatabase();
            Accounts.ConnectDatabase();
            ReclaimCloseSignals();
        }
        if (Accounts.Connected()) result = SignInOrRegister(Accounts, credentials.Name, credentials.Password);
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
        Session* session = SessionOf(socket->request().rawHeader("Cookie"));
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
