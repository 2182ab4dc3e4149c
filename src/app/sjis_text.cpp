#include "app/sjis_text.h"

#include "app/dialogs.h"

#include <QLineEdit>
#include <QTimer>
#include <cerrno>
#include <iconv.h>
#include <stdexcept>

namespace {

// One iconv descriptor per direction, opened on first use and reset before each conversion.
class Converter {
public:
    Converter(const char* to, const char* from) : Cd(iconv_open(to, from))
    {
        if (Cd == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
    }
    ~Converter() { iconv_close(Cd); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts in; on an input sequence it cannot convert, calls onBad(out) and skips
    // badSkip(in) bytes, or stops and returns false when onBad is not given.
    template <typename OnBad, typename BadSkip>
    bool Run(std::string_view in, std::string& out, OnBad onBad, BadSkip badSkip)
    {
        iconv(Cd, nullptr, nullptr, nullptr, nullptr);
        char* inPtr = const_cast<char*>(in.data());
        size_t inLeft = in.size();
        char buffer[1024];
        while (inLeft > 0) {
            char* outPtr = buffer;
            size_t outLeft = sizeof buffer;
            const size_t rc = iconv(Cd, &inPtr, &inLeft, &outPtr, &outLeft);
            out.append(buffer, static_cast<size_t>(outPtr - buffer));
            if (rc != static_cast<size_t>(-1)) continue;
            if (errno == E2BIG) continue;
            // EILSEQ or EINVAL (a truncated sequence at the end)
            if (!onBad(out)) return false;
            const size_t skip = std::min(inLeft, badSkip(std::string_view(inPtr, inLeft)));
            inPtr += skip;
            inLeft -= skip;
            iconv(Cd, nullptr, nullptr, nullptr, nullptr);
        }
        return true;
    }

private:
    iconv_t Cd;
};

Converter& Encoder()
{
    thread_local Converter encoder("CP932", "UTF-8");
    return encoder;
}

Converter& Decoder()
{
    thread_local Converter decoder("UTF-8", "CP932");
    return decoder;
}

// Length of the UTF-8 character at the start of s, so an unencodable one is skipped whole.
size_t Utf8CharLength(std::string_view s)
{
    const auto b = static_cast<unsigned char>(s[0]);
    if (b < 0x80) return 1;
    if ((b & 0xE0) == 0xC0) return 2;
    if ((b & 0xF0) == 0xE0) return 3;
    if ((b & 0xF8) == 0xF0) return 4;
    return 1;
}

std::string EncodeReplacing(std::string_view utf8)
{
    std::string out;
    Encoder().Run(
        utf8, out, [](std::string& o) { o += '?'; return true; }, Utf8CharLength);
    return out;
}

}  // namespace

std::string Sjis(std::string_view utf8) { return EncodeReplacing(utf8); }

QString ToQt(const std::string& sjis)
{
    std::string utf8;
    Decoder().Run(
        sjis, utf8, [](std::string& o) { o += "\xEF\xBF\xBD"; return true; },
        [](std::string_view) { return size_t{1}; });
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::optional<std::string> ToSjisExact(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    std::string out;
    const bool ok = Encoder().Run(
        std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())), out,
        [](std::string&) { return false; }, Utf8CharLength);
    if (!ok) return std::nullopt;
    return out;
}

std::string FromQt(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    return EncodeReplacing(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
}

SjisRefusal RefusalOf(const QString& text, int maxBytes)
{
    // Control characters (TAB, line breaks, NUL, DEL) would break the one-line files and the
    // statements the text goes into.
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) return SjisRefusal::ControlCharacter;
    const auto bytes = ToSjisExact(text);
    if (!bytes) return SjisRefusal::NotCp932;
    if (maxBytes > 0 && static_cast<int>(bytes->size()) > maxBytes) return SjisRefusal::TooLong;
    return SjisRefusal::None;
}

std::string RefusalMessage(SjisRefusal reason, int maxBytes)
{
    switch (reason) {
    case SjisRefusal::ControlCharacter:
        return Sjis("タブや改行などを含む文字列は入力できません");
    case SjisRefusal::NotCp932:
        return Sjis("Shift-JISで表せない文字を含む文字列は入力できません");
    case SjisRefusal::TooLong:
        return Sjis("この欄には半角" + std::to_string(maxBytes) + "文字（全角" + std::to_string(maxBytes / 2) +
                    "文字）までしか入力できません");
    case SjisRefusal::None:
        break;
    }
    return {};
}

SjisByteValidator::SjisByteValidator(int maxBytes, QObject* parent)
    : QValidator(parent), MaxBytesLimit(maxBytes)
{
}

QValidator::State SjisByteValidator::validate(QString& input, int&) const
{
    if (RefusalOf(input, MaxBytesLimit) != SjisRefusal::None) return Invalid;
    Accepted = input.size();
    return Acceptable;
}

namespace {

// What SetEditText put into a box: its bytes and the text they showed as.
const char* const FilledBytes = "sjisFilledBytes";
const char* const FilledText = "sjisFilledText";
// Set while SetEditText fills a box: the program's own text is no input to refuse aloud.
const char* const Filling = "sjisFilling";

}  // namespace

void LimitSjisBytes(QLineEdit* edit, int maxBytes)
{
    auto* validator = new SjisByteValidator(maxBytes, edit);
    edit->setValidator(validator);
    // The box still shows the refused text when this runs; Qt puts the old one back after.
    QObject::connect(edit, &QLineEdit::inputRejected, edit, [edit, validator] {
        if (edit->property(Filling).toBool()) return;
        const QString refused = edit->text();
        const SjisRefusal reason = RefusalOf(refused, validator->MaxBytes());
        if (reason == SjisRefusal::None) return;
        if (reason == SjisRefusal::TooLong && refused.size() - validator->AcceptedLength() <= 1) return;
        // Shown once the box has its old text back, outside the edit that was refused.
        QTimer::singleShot(0, edit, [edit, message = RefusalMessage(reason, validator->MaxBytes())] {
            ShowMessage(edit->window(), message);
        });
    });
}

std::string EditText(const QLineEdit* edit)
{
    // Several CP932 codes show as one character (the NEC and IBM duplicates), and bytes that
    // are no character show as U+FFFD: a box the user left alone gives back its own bytes.
    const QString text = edit->text();
    if (edit->property(FilledText).toString() == text && !text.isEmpty()) {
        const QByteArray bytes = edit->property(FilledBytes).toByteArray();
        return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
    }
    return FromQt(text);
}

void SetEditText(QLineEdit* edit, const std::string& sjis)
{
    const QString text = ToQt(sjis);
    edit->setProperty(FilledBytes, QByteArray(sjis.data(), static_cast<qsizetype>(sjis.size())));
    edit->setProperty(FilledText, text);
    edit->setProperty(Filling, true);
    edit->setText(text);
    edit->setProperty(Filling, false);
}
