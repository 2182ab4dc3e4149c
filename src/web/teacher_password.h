// The teacher's password for the teacher's pages: set on the server by server-setup, kept as one
// salted PBKDF2 line in a file only root and the gateway's service can read:
//
//   pbkdf2-sha256$<iterations>$<salt, hex>$<key, hex>
#pragma once

#include <QString>
#include <optional>
#include <string>

// A new line for the password, with a fresh random salt.
std::string HashTeacherPassword(const QString& password);
// True when password gives the key of stored; false for any other password and for a stored
// line that is not one HashTeacherPassword writes (scheme, iterations, lengths, hex digits).
bool CheckTeacherPassword(const QString& password, const std::string& stored);
// The first line of the file, without surrounding blanks; nullopt when the file is missing,
// unreadable or that line is empty.
std::optional<std::string> ReadTeacherPasswordFile(const std::string& path);
// Why a teacher password cannot be used (8 to 64 characters, any characters), or empty.
std::string TeacherPasswordFault(const QString& password);
