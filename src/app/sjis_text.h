// The one place where the program's CP932 byte strings meet Qt's QString.
#pragma once

#include <QString>
#include <QValidator>
#include <optional>
#include <string>
#include <string_view>

class QLineEdit;
class QWidget;

// CP932 bytes of a UTF-8 literal in the source (every program text passes through here).
// Characters CP932 cannot hold become "?".
std::string Sjis(std::string_view utf8);

// Decodes CP932 bytes for display; a byte sequence that is not CP932 shows as U+FFFD.
QString ToQt(const std::string& sjis);

// CP932 bytes of a widget text, or nothing when some character has no CP932 form.
std::optional<std::string> ToSjisExact(const QString& text);

// CP932 bytes of a widget text; characters without a CP932 form become "?".
std::string FromQt(const QString& text);

// Why a text cannot stand in a box of maxBytes CP932 bytes (0: no length limit): a control
// character (below U+0020, and U+007F), a character CP932 cannot hold, or too many bytes.
enum class SjisRefusal { None, ControlCharacter, NotCp932, TooLong };
SjisRefusal RefusalOf(const QString& text, int maxBytes);
// What the user is told when a text is refused for that reason (CP932).
std::string RefusalMessage(SjisRefusal reason, int maxBytes);

// Refuses any text that RefusalOf refuses.
class SjisByteValidator : public QValidator {
public:
    // maxBytes 0 means no length limit.
    explicit SjisByteValidator(int maxBytes, QObject* parent = nullptr);
    State validate(QString& input, int& pos) const override;
    int MaxBytes() const { return MaxBytesLimit; }
    // The length of the text last accepted, in UTF-16 units.
    qsizetype AcceptedLength() const { return Accepted; }

private:
    int MaxBytesLimit;
    mutable qsizetype Accepted = 0;
};

// Installs a SjisByteValidator on the edit box (the box's MaxLength in CP932 bytes). A refused
// paste (or drop, or conversion) then tells the user why in a message box; a single character
// typed past the limit is dropped silently, as a box with a maximum length does.
void LimitSjisBytes(QLineEdit* edit, int maxBytes);

// CP932 text of an edit box, and setting one from CP932 bytes. While the box shows the text
// it was set to, EditText gives back exactly the bytes it was set with.
std::string EditText(const QLineEdit* edit);
void SetEditText(QLineEdit* edit, const std::string& sjis);
