#include "naturalorder.h"

namespace {

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Compares the digit runs starting at a[i] and b[j] by value and advances past them.
// Equal values with a different count of leading zeros compare equal here.
int compareNumbers(QStringView a, qsizetype& i, QStringView b, qsizetype& j)
{
    while (i < a.size() && a[i] == u'0') {
        ++i;
    }
    while (j < b.size() && b[j] == u'0') {
        ++j;
    }
    const qsizetype startA = i;
    const qsizetype startB = j;
    while (i < a.size() && isDigit(a[i])) {
        ++i;
    }
    while (j < b.size() && isDigit(b[j])) {
        ++j;
    }
    const qsizetype lengthA = i - startA;
    const qsizetype lengthB = j - startB;
    if (lengthA != lengthB) {
        return lengthA < lengthB ? -1 : 1;
    }
    return a.mid(startA, lengthA).compare(b.mid(startB, lengthB));
}

} // namespace

QString naturalSortKey(QStringView name)
{
    return name.toString().toCaseFolded();
}

int naturalCompare(QStringView a, QStringView b) noexcept
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            if (const int order = compareNumbers(a, i, b, j); order != 0) {
                return order;
            }
            continue;
        }
        if (a[i] != b[j]) {
            return a[i] < b[j] ? -1 : 1;
        }
        ++i, ++j;
    }
    const bool aLeft = i < a.size();
    const bool bLeft = j < b.size();
    return aLeft == bLeft ? 0 : (aLeft ? 1 : -1);
}

bool naturalLess(QStringView keyA, QStringView nameA, QStringView keyB, QStringView nameB) noexcept
{
    if (const int order = naturalCompare(keyA, keyB); order != 0) {
        return order < 0;
    }
    return nameA < nameB;
}
