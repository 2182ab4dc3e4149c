// The messages between the page and the gateway, each one small JSON object with a "type".
// What the browser sends is checked here before anything acts on it; what it receives is built
// here from the game's view, with every text turned from CP932 into UTF-8.
#pragma once

#include "game/game_loop.h"

#include <QByteArray>
#include <QJsonObject>
#include <optional>
#include <set>

// What a player's browser may ask for.
enum class PlayerActionKind { Join, Ready, Answer, Leave };
struct PlayerAction {
    PlayerActionKind Kind = PlayerActionKind::Join;
    int Button = 0;  // 1 to 4 for Answer
};
// The action in a message from the browser, or nothing for anything else: too long, not a
// JSON object, an unknown type, an answer that is not the number 1 to 4, fields too many.
std::optional<PlayerAction> ParsePlayerAction(const QByteArray& message);

// The parts of the view that changed, with the game's state, as one "view" message; every part
// when parts holds them all.
QJsonObject ViewMessage(const GameView& view, const GameProgress& progress, const std::set<ViewPart>& parts);
std::set<ViewPart> AllViewParts();
// A message the player must read ("message"), and whether the game has left the room with it.
QJsonObject NoticeMessage(const std::string& sjisText, bool left);

// UTF-8 of CP932 bytes.
QString FromSjis(const std::string& sjis);
