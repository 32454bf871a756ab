#pragma once

#include <QString>
#include <QStringView>

/**
 * The order in which file managers on Linux list names: case-insensitive, with runs of digits
 * compared by their numeric value ("track2" before "track10", "a01" beside "a1").
 *
 * naturalSortKey() is computed once per name; naturalLess() compares two names given their keys.
 * Names whose keys compare equal are ordered by their exact text, so the order is total and the
 * same on every run. Pure functions; never throw.
 */
QString naturalSortKey(QStringView name);
bool naturalLess(QStringView keyA, QStringView nameA, QStringView keyB, QStringView nameB) noexcept;

/// Three-way natural comparison of two keys: negative, zero or positive.
int naturalCompare(QStringView keyA, QStringView keyB) noexcept;
