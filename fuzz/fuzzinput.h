#pragma once

// Turns the fuzzer's bytes into the strings a harness needs.

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace fuzz {

/// Stops the run with the fuzzer's crash report when a property does not hold.
#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            __builtin_trap();                                                                                          \
        }                                                                                                              \
    } while (false)

/**
 * The bytes as a string of UTF-16 units: ASCII bytes stand for themselves, the others pick from
 * characters that make text handling go wrong (escaped file-name bytes, lone and paired
 * surrogates, case-folding letters, other scripts' digits).
 */
inline QString textOf(const uint8_t* data, size_t size)
{
    static const char16_t wide[] = {0xDC80, 0xDCFF, 0xD800, 0xDBFF, 0xDC00, 0xFFFD, 0x00E9, 0x00C9,
                                    0x0130, 0x0131, 0x00DF, 0x1E9E, 0x212A, 0x0660, 0xFF11, 0x0000};
    QString text;
    text.reserve(qsizetype(size));
    for (size_t i = 0; i < size; ++i) {
        const uint8_t byte = data[i];
        text.append(byte < 0x80 ? QChar(byte) : QChar(wide[byte % (sizeof wide / sizeof wide[0])]));
    }
    return text;
}

/// Splits the input at each 0xFF byte into at most @p count parts (the last takes the rest).
inline std::vector<QString> partsOf(const uint8_t* data, size_t size, size_t count)
{
    std::vector<QString> parts;
    size_t start = 0;
    for (size_t i = 0; i < size && parts.size() + 1 < count; ++i) {
        if (data[i] == 0xFF) {
            parts.push_back(textOf(data + start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(textOf(data + start, size - start));
    while (parts.size() < count) {
        parts.emplace_back();
    }
    return parts;
}

} // namespace fuzz
