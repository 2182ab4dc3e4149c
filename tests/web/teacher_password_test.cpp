#include "web/teacher_password.h"

#include <QStringList>
#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>

TEST(TeacherPassword, OnlyTheRightPasswordWithAnUntouchedWellFormedLineIsAccepted)
{
    const QString password = "先生の pass word";
    const std::string stored = HashTeacherPassword(password);
    const QStringList part = QString::fromStdString(stored).split('$');
    ASSERT_EQ(part.size(), 4) << stored;
    const auto line = [](const QString& a, const QString& b, const QString& c, const QString& d) {
        return QStringList{a, b, c, d}.join('$').toStdString();
    };
    const QString otherSalt = QString(part[2]).replace(0, 1, part[2][0] == '0' ? "1" : "0");
    const QString otherKey = QString(part[3]).replace(63, 1, part[3][63] == '0' ? "1" : "0");
    struct Case {
        const char* what;
        std::string stored;
        QString password;
        bool accepted;
    } const cases[] = {
        {"right", stored, password, true},
        {"wrong", stored, "先生の pass word ", false},
        {"empty password", stored, "", false},
        {"other salt", line(part[0], part[1], otherSalt, part[3]), password, false},
        {"other key", line(part[0], part[1], part[2], otherKey), password, false},
        {"other iterations", line(part[0], "200001", part[2], part[3]), password, false},
        {"scheme", line("pbkdf2-sha1", part[1], part[2], part[3]), password, false},
        {"too few iterations", line(part[0], "999", part[2], part[3]), password, false},
        {"too many iterations", line(part[0], "10000001", part[2], part[3]), password, false},
        {"iterations not a number", line(part[0], "+2000", part[2], part[3]), password, false},
        {"salt not hex", line(part[0], part[1], QString(part[2]).replace(5, 1, "g"), part[3]), password, false},
        {"salt too short", line(part[0], part[1], part[2].left(30), part[3]), password, false},
        {"key too long", line(part[0], part[1], part[2], part[3] + "00"), password, false},
        {"a fifth field", stored + "$00", password, false},
        {"three fields", stored.substr(0, stored.rfind('$')), password, false},
        {"empty line", "", password, false},
    };
    for (const Case& c : cases) EXPECT_EQ(CheckTeacherPassword(c.password, c.stored), c.accepted) << c.what;
    EXPECT_NE(HashTeacherPassword(password), stored);
}

TEST(TeacherPassword, LengthFromEightToSixtyFourCharactersAndTheFilesFirstLine)
{
    const struct {
        QString password;
        bool usable;
    } lengths[] = {{"1234567", false}, {"12345678", true}, {"先生のパスワード", true}, {"先生のパスワ😀", false},
                   {QString(64, 'x'), true}, {QString(65, 'x'), false}};
    for (const auto& c : lengths) EXPECT_EQ(TeacherPasswordFault(c.password).empty(), c.usable) << c.password.toStdString();

    QTemporaryDir dir;
    const std::string path = dir.filePath("teacher.pass").toStdString();
    EXPECT_FALSE(ReadTeacherPasswordFile(path));
    std::ofstream(path) << " \n";
    EXPECT_FALSE(ReadTeacherPasswordFile(path));
    std::ofstream(path) << "  pbkdf2-sha256$1$2$3 \r\nsecond\n";
    EXPECT_EQ(ReadTeacherPasswordFile(path), "pbkdf2-sha256$1$2$3");
}
