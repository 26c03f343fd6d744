#include "error_handler.h"

#include "dialogs.h"

QString messageWithPeriod(const QString& message)
{
    if (!message.isEmpty() && message.back().unicode() > '.') return message + '.';
    return message;
}

namespace {

// Length of the valid UTF-8 sequence at `at`, or 0.
size_t utf8SequenceAt(std::string_view bytes, size_t at)
{
    auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    unsigned char lead = byte(at);
    size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (length == 0 || at + length > bytes.size()) return 0;
    for (size_t i = 1; i < length; ++i)
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
    QString decoded = QString::fromUtf8(bytes.data() + at, static_cast<qsizetype>(length));
    return decoded.contains(QChar::ReplacementCharacter) ? 0 : length;
}

}  // namespace

// Paths in messages are the file system's UTF-8; entry names are Latin-1
// bytes. Each byte that is not part of valid UTF-8 is read as Latin-1.
QString messageText(std::string_view bytes)
{
    QString text;
    for (size_t at = 0; at < bytes.size();) {
        size_t length = utf8SequenceAt(bytes, at);
        if (length == 0) {
            text += QChar(static_cast<unsigned char>(bytes[at++]));
        } else {
            text += QString::fromUtf8(bytes.data() + at, static_cast<qsizetype>(length));
            at += length;
        }
    }
    return text;
}

void showFailure(const std::exception& failure) { dialogs().showError(messageWithPeriod(messageText(failure.what()))); }
