#include "pathcodec.h"

#include <QStringDecoder>

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

// Whether name[i] stands for an undecodable byte. Only a lone low surrogate does: the same unit
// after a high surrogate is the second half of a character such as U+1F480.
bool isEscapedByte(QStringView name, qsizetype i)
{
    const char16_t unit = name[i].unicode();
    return unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF && (i == 0 || !name[i - 1].isHighSurrogate());
}

// Length of the valid UTF-8 sequence starting at data[i], or 0 when it is not valid
// (overlong forms, surrogates and code points past U+10FFFF are invalid).
int validSequenceLength(const unsigned char* data, qsizetype size, qsizetype i)
{
    const unsigned char lead = data[i];
    int length = 0;
    char32_t minimum = 0;
    char32_t cp = 0;
    if (lead < 0x80) {
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, minimum = 0x80, cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, minimum = 0x800, cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, minimum = 0x10000, cp = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > size) {
        return 0;
    }
    for (int k = 1; k < length; ++k) {
        const unsigned char c = data[i + k];
        if ((c & 0xC0) != 0x80) {
            return 0;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    const bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
    return (cp < minimum || cp > 0x10FFFF || surrogate) ? 0 : length;
}

// Valid UTF-8 as text. QString::fromUtf8 would drop a leading U+FEFF, which is part of the name.
QString fromValidUtf8(const char* data, qsizetype size)
{
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(QByteArrayView(data, size));
}

} // namespace

QString decodeFileName(const QByteArray& bytes)
{
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype size = bytes.size();
    QString result;
    qsizetype runStart = 0;
    qsizetype i = 0;
    while (i < size) {
        const int length = validSequenceLength(data, size, i);
        if (length > 0) {
            i += length;
            continue;
        }
        result.append(fromValidUtf8(bytes.constData() + runStart, i - runStart));
        result.append(QChar(char16_t(kEscapeBase + data[i])));
        runStart = ++i;
    }
    if (runStart == 0) {
        return fromValidUtf8(bytes.constData(), size);
    }
    result.append(fromValidUtf8(bytes.constData() + runStart, size - runStart));
    return result;
}

QByteArray encodeFileName(const QString& name)
{
    QByteArray result;
    result.reserve(name.size());
    qsizetype runStart = 0;
    const auto flushRun = [&](qsizetype end) {
        if (end > runStart) {
            result.append(QStringView(name).mid(runStart, end - runStart).toUtf8());
        }
    };
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (isEscapedByte(name, i)) {
            flushRun(i);
            result.append(char(name.at(i).unicode() - kEscapeBase));
            runStart = i + 1;
        }
    }
    flushRun(name.size());
    return result;
}

QString displayFileName(const QString& decodedName)
{
    QString shown = decodedName;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        if (isEscapedByte(decodedName, i)) {
            shown[i] = QChar::ReplacementCharacter;
        }
    }
    return shown;
}

std::filesystem::path toFsPath(const QString& path)
{
    const QByteArray bytes = encodeFileName(path);
    return std::filesystem::path(std::string(bytes.constData(), size_t(bytes.size())));
}
