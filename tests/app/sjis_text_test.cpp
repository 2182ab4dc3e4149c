#include "app/sjis_text.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

#include "support/recording_dialogs.h"
#include "support/typing.h"

#include <tuple>
#include <vector>

namespace {

std::string Hex(const std::string& bytes)
{
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        if (!out.empty()) out += ' ';
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

TEST(SjisText, ProgramTextsHaveTheirCp932Bytes)
{
    EXPECT_EQ(Hex(Sjis("：")), "81 46");
    EXPECT_EQ(Hex(Sjis("　")), "81 40");
    EXPECT_EQ(Hex(Sjis("○")), "81 9B");
    EXPECT_EQ(Hex(Sjis("×")), "81 7E");
    EXPECT_EQ(Hex(Sjis("－")), "81 7C");
    EXPECT_EQ(Hex(Sjis("\\")), "5C");
    EXPECT_EQ(Hex(Sjis("t803－クイズゲーム")), "74 38 30 33 81 7C 83 4E 83 43 83 59 83 51 81 5B 83 80");
}

TEST(SjisText, RoundTripsThroughQString)
{
    const std::string bytes = Sjis("第 1 問の正解者：無し ABC ｱｲｳ");
    EXPECT_EQ(ToQt(bytes), QString::fromUtf8("第 1 問の正解者：無し ABC ｱｲｳ"));
    EXPECT_EQ(FromQt(ToQt(bytes)), bytes);
    EXPECT_EQ(ToSjisExact(ToQt(bytes)), bytes);
}

TEST(SjisText, CharactersWithoutCp932FormAreReported)
{
    const QString emoji = QString::fromUtf8("A😀B");
    EXPECT_FALSE(ToSjisExact(emoji).has_value());
    EXPECT_EQ(FromQt(emoji), "A?B");
    EXPECT_EQ(Sjis("é"), "?");
}

TEST(SjisText, InvalidCp932BytesDecodeToReplacementCharacters)
{
    // A lone lead byte at the end and an invalid trail byte must not swallow the text around them.
    EXPECT_EQ(ToQt("A\x82"), QString::fromUtf8("A\uFFFD"));
    EXPECT_EQ(ToQt("\x85\x20Z").right(1), QString("Z"));
}

TEST(SjisByteValidator, RefusesTheByteAfterTheLimit)
{
    QLineEdit edit;
    LimitSjisBytes(&edit, 8);
    edit.show();
    QTest::keyClicks(&edit, "123456789");
    EXPECT_EQ(edit.text(), "12345678");

    // Full-width characters count two bytes: four fit, a fifth does not.
    edit.clear();
    for (const char* kana : {"あ", "い", "う", "え", "お"}) TypeText(&edit, QString::fromUtf8(kana));
    EXPECT_EQ(EditText(&edit), Sjis("あいうえ"));

    // Seven bytes leave no room for a double-byte character but one for a single byte.
    edit.setText("1234567");
    edit.end(false);
    TypeText(&edit, QString::fromUtf8("あ"));
    EXPECT_EQ(edit.text(), "1234567");
    QTest::keyClicks(&edit, "x");
    EXPECT_EQ(edit.text(), "1234567x");
}

TEST(SjisByteValidator, RefusesCharactersCp932CannotHold)
{
    QLineEdit edit;
    LimitSjisBytes(&edit, 0);
    edit.show();
    QTest::keyClicks(&edit, "ab");
    TypeText(&edit, QString::fromUtf8("😀"));
    TypeText(&edit, QString::fromUtf8("漢"));
    EXPECT_EQ(edit.text(), QString::fromUtf8("ab漢"));

    SjisByteValidator validator(30);
    QString pasted = QString::fromUtf8("質問😀");
    int pos = 0;
    EXPECT_EQ(validator.validate(pasted, pos), QValidator::Invalid);
    QString fits = QString::fromUtf8("質問です");
    EXPECT_EQ(validator.validate(fits, pos), QValidator::Acceptable);
}

TEST(SjisByteValidator, RefusesControlCharactersTypedOrPasted)
{
    QLineEdit edit;
    LimitSjisBytes(&edit, 0);
    edit.show();
    QTest::keyClicks(&edit, "ab");
    for (const char* control : {"\t", "\r", "\n", "\x7F"}) TypeText(&edit, QString::fromLatin1(control));
    EXPECT_EQ(edit.text(), "ab");

    SjisByteValidator validator(0);
    int pos = 0;
    for (QString pasted : {QString("one\ttwo"), QString("line\r\nbreak"), QString("nul") + QChar(0), QString("del\x7F")})
        EXPECT_EQ(validator.validate(pasted, pos), QValidator::Invalid) << pasted.toStdString();
    QString blanks = QString::fromUtf8(" 全角　空白 ");
    EXPECT_EQ(validator.validate(blanks, pos), QValidator::Acceptable);
}

// A paste the box refuses leaves its text as it was and says why. Each case: the box's byte
// limit, the text pasted after "ab", the message (empty when it goes in).
TEST(SjisByteValidator, RefusedPasteSaysWhy)
{
    const std::string tabOrBreak = "タブや改行などを含む文字列は入力できません";
    const std::vector<std::tuple<int, const char*, std::string>> cases = {
        {50, "123456789012345678901234567890123456789012345678901", "この欄には半角50文字（全角25文字）までしか入力できません"},
        {8, "パスワー", "この欄には半角8文字（全角4文字）までしか入力できません"}, {8, "パス", ""},
        {50, "一行目\n二行目", tabOrBreak}, {50, "line\r\n", tabOrBreak}, {30, "a\tb", tabOrBreak},
        {0, "笑😀", "Shift-JISで表せない文字を含む文字列は入力できません"}};
    for (const auto& [limit, pasted, message] : cases) {
        RecordingDialogs dialogs;
        QLineEdit edit("ab");
        LimitSjisBytes(&edit, limit);
        QGuiApplication::clipboard()->setText(QString::fromUtf8(pasted));
        QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
        QCoreApplication::processEvents();
        EXPECT_EQ(edit.text(), message.empty() ? "ab" + QString::fromUtf8(pasted) : "ab") << pasted;
        EXPECT_EQ(dialogs.Messages, message.empty() ? std::vector<std::string>{} : std::vector{Sjis(message)}) << pasted;
    }
    // A character typed past the limit stops silently, as at a maximum length; the program's
    // own filling of a box is no input to refuse aloud.
    RecordingDialogs dialogs;
    QLineEdit edit;
    LimitSjisBytes(&edit, 4);
    QTest::keyClicks(&edit, "abcde");
    SetEditText(&edit, "123456789");
    QCoreApplication::processEvents();
    EXPECT_TRUE(dialogs.Messages.empty());
}

TEST(SjisText, EditTextReadsAndWritesCp932)
{
    QLineEdit edit;
    SetEditText(&edit, Sjis("名前１"));
    EXPECT_EQ(edit.text(), QString::fromUtf8("名前１"));
    EXPECT_EQ(EditText(&edit), Sjis("名前１"));
}

TEST(SjisText, ABoxLeftAloneGivesBackTheBytesItWasFilledWith)
{
    // NEC and IBM duplicates of one character each, and a byte that is no character.
    const std::string stored = "\xED\x40\xFA\x4A\xEE\xF9\xFA\x54\x80";
    QLineEdit edit;
    LimitSjisBytes(&edit, 0);
    SetEditText(&edit, stored);
    EXPECT_EQ(EditText(&edit), stored);
    EXPECT_NE(FromQt(edit.text()), stored) << "the characters alone would rewrite the codes";

    // Once the user changes the text, the box holds what was typed.
    edit.setText(QString::fromUtf8("新"));
    EXPECT_EQ(EditText(&edit), Sjis("新"));
    SetEditText(&edit, "");
    EXPECT_EQ(EditText(&edit), "");
}

}  // namespace
