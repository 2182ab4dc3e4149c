// A QUIZQA row as "SELECT *" returns it: the columns in table order. The game reads whole
// rows; the Q&A windows edit, and the list window shows, the first ten (N to AN3), since ANN
// belongs to the game, which draws it anew for every room.
#pragma once

#include <array>

enum QuestionColumn { QaN, QaSN, QaQ1, QaQ2, QaQ3, QaQ4, QaANS, QaAN1, QaAN2, QaAN3, QaANN, QaColumnCount };

// N to AN3: the columns the Q&A windows write and the list window shows.
constexpr int QaEditedColumns = QaANN;

inline constexpr std::array<const char*, QaColumnCount> QuestionColumnNames = {
    "N", "SN", "Q1", "Q2", "Q3", "Q4", "ANS", "AN1", "AN2", "AN3", "ANN"};
