#include "web/teacher_password.h"

#include <QCryptographicHash>
#include <QFile>
#include <QPasswordDigestor>
#include <QRandomGenerator>
#include <algorithm>
#include <cctype>

namespace {

constexpr char Scheme[] = "pbkdf2-sha256";
constexpr int HashIterations = 200000;
constexpr int MinIterations = 1000;
constexpr int MaxIterations = 10000000;
constexpr qsizetype SaltBytes = 16;
constexpr qsizetype KeyBytes = 32;
constexpr qsizetype MinLength = 8;
constexpr qsizetype MaxLength = 64;

QByteArray DeriveKey(const QString& password, const QByteArray& salt, int iterations)
{
    return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, password.toUtf8(), salt, iterations,
                                              KeyBytes);
}

// Exactly bytes * 2 hex digits; nullopt otherwise (QByteArray::fromHex skips what is not hex).
std::optional<QByteArray> FromHex(const std::string& text, qsizetype bytes)
{
    if (text.size() != static_cast<size_t>(bytes) * 2) return std::nullopt;
    if (!std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isxdigit(c); })) return std::nullopt;
    return QByteArray::fromHex(QByteArray::fromStdString(text));
}

}  // namespace

std::string HashTeacherPassword(const QString& password)
{
    QByteArray salt(SaltBytes, '\0');
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(salt.data()), SaltBytes / 4);
    return std::string(Scheme) + '$' + std::to_string(HashIterations) + '$' + salt.toHex().toStdString() + '$' +
           DeriveKey(password, salt, HashIterations).toHex().toStdString();
}

bool CheckTeacherPassword(const QString& password, const std::string& stored)
{
    std::string parts[4];
    size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        const size_t end = i < 3 ? stored.find('$', start) : stored.size();
        if (end == std::string::npos) return false;
        parts[i] = stored.substr(start, end - start);
        start = end + 1;
    }
    const std::string& digits = parts[1];
    if (parts[0] != Scheme || parts[3].find('$') != std::string::npos) return false;
    if (digits.empty() || digits.size() > 8 ||
        !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); }))
        return false;
    const int iterations = std::stoi(digits);
    if (iterations < MinIterations || iterations > MaxIterations) return false;
    const std::optional<QByteArray> salt = FromHex(parts[2], SaltBytes);
    const std::optional<QByteArray> key = FromHex(parts[3], KeyBytes);
    if (!salt || !key) return false;

    // Every byte compared, whatever the first difference, so the time tells nothing.
    const QByteArray derived = DeriveKey(password, *salt, iterations);
    unsigned char difference = derived.size() == KeyBytes ? 0 : 1;
    for (qsizetype i = 0; i < KeyBytes && i < derived.size(); ++i)
        difference |= static_cast<unsigned char>(derived[i] ^ (*key)[i]);
    return difference == 0;
}

std::optional<std::string> ReadTeacherPasswordFile(const std::string& path)
{
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const std::string line = file.readLine(4096).trimmed().toStdString();
    if (line.empty()) return std::nullopt;
    return line;
}

std::string TeacherPasswordFault(const QString& password)
{
    const qsizetype length = password.toUcs4().size();
    if (length < MinLength) return "the teacher password needs at least 8 characters";
    if (length > MaxLength) return "the teacher password may have at most 64 characters";
    return {};
}
