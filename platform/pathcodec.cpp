#include "pathcodec.h"

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool isEscapedByte(char16_t unit)
{
    return unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF;
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
        result.append(QString::fromUtf8(bytes.constData() + runStart, i - runStart));
        result.append(QChar(char16_t(kEscapeBase + data[i])));
        runStart = ++i;
    }
    if (runStart == 0) {
        return QString::fromUtf8(bytes);
    }
    result.append(QString::fromUtf8(bytes.constData() + runStart, size - runStart));
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
        const char16_t unit = name.at(i).unicode();
        if (isEscapedByte(unit)) {
            flushRun(i);
            result.append(char(unit - kEscapeBase));
            runStart = i + 1;
        }
    }
    flushRun(name.size());
    return result;
}

QString displayFileName(const QString& decodedName)
{
    QString shown = decodedName;
    for (QChar& c : shown) {
        if (isEscapedByte(c.unicode())) {
            c = QChar::ReplacementCharacter;
        }
    }
    return shown;
}

std::filesystem::path toFsPath(const QString& path)
{
    const QByteArray bytes = encodeFileName(path);
    return std::filesystem::path(std::string(bytes.constData(), size_t(bytes.size())));
}
