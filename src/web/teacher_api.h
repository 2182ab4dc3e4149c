// The teacher's requests to the gateway (its JSON API under /api/teacher/): the record's reports,
// the CSV export, the players and the room, each checked before the database is asked. The
// gateway calls it only for a signed-in teacher.
#pragma once

#include <QByteArray>
#include <QUrlQuery>
#include <QtHttpServer/QHttpServerResponse>

class QuizDatabase;

// The answer to one request: name is the path after /api/teacher/, post whether it was a POST
// (its body then), query the URL's parameters. The room's table is asked on db, connected.
QHttpServerResponse AnswerTeacher(QuizDatabase& db, const QString& name, bool post, const QUrlQuery& query,
                                  const QByteArray& body);
