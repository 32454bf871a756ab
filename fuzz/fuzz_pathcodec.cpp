// File names survive the trip into a QString and back byte for byte; what is shown has no escape
// left in it; text typed by the user (no escapes, no lone surrogates) survives the other trip.

#include "fuzzinput.h"
#include "pathcodec.h"

#include <QByteArray>

namespace {

// An escaped byte is a lone low surrogate U+DC80..U+DCFF; after a high surrogate it is half a
// character (U+1F480 is D83D DC80).
bool isEscape(const QString& text, qsizetype i)
{
    const char16_t unit = text[i].unicode();
    return unit >= 0xDC80 && unit <= 0xDCFF && (i == 0 || !text[i - 1].isHighSurrogate());
}

bool isTypable(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i;
        } else if (c.isSurrogate()) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString name = decodeFileName(bytes);
    FUZZ_CHECK(encodeFileName(name) == bytes);
    FUZZ_CHECK(decodeFileName(encodeFileName(name)) == name);

    const QString shown = displayFileName(name);
    FUZZ_CHECK(shown.size() == name.size());
    for (qsizetype i = 0; i < shown.size(); ++i) {
        FUZZ_CHECK(!isEscape(shown, i));
    }
    FUZZ_CHECK(toFsPath(name).native() == bytes.toStdString());

    const QString typed = fuzz::textOf(data, size);
    if (isTypable(typed)) {
        FUZZ_CHECK(decodeFileName(encodeFileName(typed)) == typed);
    }
    return 0;
}
