// The Q&A value rules on their own: column names, literals, NULL for empty text and the
// refusal of quote characters.
#include "qa/qa_values.h"

#include "app/sjis_text.h"

#include <gtest/gtest.h>

namespace {

using Texts = QaTexts;

TEST(QaValues, NamesAndValuesLineUpColumnByColumn)
{
    EXPECT_EQ(QaColumnNames(),
              (std::vector<std::string>{"N", "SN", "Q1", "Q2", "Q3", "Q4", "ANS", "AN1", "AN2", "AN3"}));
    const auto values =
        QaColumnValues(12, "34", Texts{"q1", "", " ", "q4", Sjis("答え"), "", Sjis("　"), "a3"});
    ASSERT_TRUE(values.has_value());
    EXPECT_EQ(*values, (std::vector<std::string>{"12", "34", "'q1'", "NULL", "' '", "'q4'", "'" + Sjis("答え") + "'",
                                                 "NULL", "'" + Sjis("　") + "'", "'a3'"}));
}

TEST(QaValues, SortNumberIsRebuiltFromAnInteger)
{
    for (const auto& [text, expected] : std::vector<std::pair<std::string, std::string>>{
             {"", "0"}, {"abc", "0"}, {"7 ", "0"}, {" 7", "7"}, {"-2", "-2"}, {"'1", "0"}, {"$10", "16"}}) {
        const auto values = QaColumnValues(1, text, Texts{});
        ASSERT_TRUE(values.has_value()) << text;
        EXPECT_EQ((*values)[1], expected) << text;
    }
    EXPECT_EQ((*QaColumnValues(2147483647, "", Texts{}))[0], "2147483647");
}

TEST(QaValues, AQuoteInAnyQuestionOrAnswerRefusesTheRow)
{
    for (size_t i = 0; i < 8; ++i) {
        for (const char* quoted : {"it's", "say \"hi\"", "'", "\""}) {
            Texts texts{"a", "b", "c", "d", "e", "f", "g", "h"};
            texts[i] = quoted;
            EXPECT_FALSE(QaColumnValues(1, "1", texts).has_value()) << i << " " << quoted;
        }
    }
    EXPECT_TRUE(QaColumnValues(1, "1", Texts{"`", ";", "--", "\\", "%", "", "", ""}).has_value());
}

TEST(QaValues, DoubleByteCharactersAreNotMistakenForQuotes)
{
    // "表" and "ソ" end in the byte 0x5C; no CP932 trail byte is ' or ".
    const std::string text = Sjis("表ソ能");
    ASSERT_EQ(text.size(), 6u);
    const auto values = QaColumnValues(3, "", Texts{text, "", "", "", "", "", "", ""});
    ASSERT_TRUE(values.has_value());
    EXPECT_EQ((*values)[2], "'" + text + "'");
}

}  // namespace
