// quizgame-web's server: the page, its sign-in, and a WebSocket for each signed-in browser, on
// one address and port. Each signed-in player gets a game of its own (WebPlayer) on one of a
// few threads; the sockets and every check of what a browser sends stay on this thread.
//
// Safety on a LAN: requests must name this server as their host (no other site's page can reach
// it through a name of its own) and, when they change anything, come from its own page (Origin);
// the session is a random token in an HttpOnly, SameSite=Strict cookie; sign-in attempts are
// limited by address and by name; nothing but the game's view (with the correct answer only once
// it is shown) ever leaves; no SQL, no database name or password does.
#pragma once

#include "db/quiz_database.h"
#include "web/sign_in.h"
#include "web/web_options.h"
#include "web/room_watch.h"
#include "web/web_player.h"

#include <QPointer>
#include <QThread>
#include <QWebSocket>
#include <chrono>
#include <QtHttpServer/QAbstractHttpServer>
#include <map>
#include <memory>
#include <vector>

class QHttpServerResponse;

class WebGateway : public QAbstractHttpServer {
    Q_OBJECT

public:
    explicit WebGateway(const WebOptions& options);
    ~WebGateway() override;

    // Listens on the configured address and port only; false when that is not possible.
    bool Start();
    uint16_t Port() const { return BoundPort; }
    const WebPlayerFigures& Figures() const { return PlayerFigures; }
    // The room watch's figures ("watch-us" line).
    std::string WatchFigures() const { return Watch ? Watch->FiguresText() : WatchFiguresKept; }
    // The players' games leave their rooms, and the threads end.
    void Stop();

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    struct Session {
        QByteArray Token;
        GamePlayer Player;
        WebPlayer* Game = nullptr;  // lives on one of the worker threads
        QPointer<QWebSocket> Socket;
        int Strikes = 0;            // messages refused on the current socket
    };

    QHttpServerResponse SignIn(const QHttpServerRequest& request);
    QHttpServerResponse SignOut(const QHttpServerRequest& request);
    QHttpServerResponse Me(const QHttpServerRequest& request);
    QHttpServerResponse TeacherSignIn(const QHttpServerRequest& request);
    QHttpServerResponse TeacherSignOut(const QHttpServerRequest& request);
    // A request of the teacher's API: refused unless the cookie names a teacher's session.
    QHttpServerResponse Teacher(const QHttpServerRequest& request, const QString& name, bool post);
    // Whether the request's cookie names a teacher's session that has not expired.
    bool IsTeacher(const QByteArray& cookieHeader);
    void OnProjectorView(const QByteArray& json);
    // The sign-in connection, made again when it was lost (inside RunUntilConnectionLost);
    // whether it is there.
    bool ConnectAccounts();
    // Creates the game record's tables that are missing, on the sign-in connection.
    void PrepareRecord();
    void OpenProjector(QWebSocket* socket);
    void OnWebSocket();
    void OnText(int32_t playerNo, QWebSocket* socket, const QString& text);
    // The session a request's cookie names, or nullptr.
    Session* SessionOf(const QByteArray& cookieHeader);
    Session& SessionFor(const GamePlayer& player);
    void EndSession(Session& session);
    // Whether the host a browser named is this server, and the origin its own page.
    bool OwnHost(const QByteArray& host) const;
    bool OwnOrigin(const QByteArray& origin, const QByteArray& host) const;

    WebOptions Options;
    uint16_t BoundPort = 0;
    QuizDatabase Accounts;  // sign-ins, on this thread
    bool RecordPrepared = false;
    SignInLimits Limits;
    WebPlayerFigures PlayerFigures;
    std::vector<std::unique_ptr<QThread>> Workers;
    size_t NextWorker = 0;
    std::map<int32_t, std::unique_ptr<Session>> Sessions;  // by player number
    // Teachers' sessions: their tokens and when each ends. No player's token is ever one.
    std::map<QByteArray, std::chrono::steady_clock::time_point> TeacherTokens;
    RoomWatch* Watch = nullptr;  // lives on WatchThread
    QThread WatchThread;
    QByteArray ProjectorView;
    std::string WatchFiguresKept;  // the watch's figures once it has stopped
    std::vector<QPointer<QWebSocket>> Projectors;
};
