#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

/**
 * Readers for what a Windows resource compiler writes, enough to check the program's resources:
 * the resource tree of a COFF object's .rsrc section (type, name and language directories over
 * data entries) and the node tree of a version resource (VS_VERSIONINFO with its String and Var
 * children), both as documented for the PE format. Malformed input yields fewer entries or empty
 * nodes, never a read past the end.
 */

constexpr quint16 resTypeIcon = 3;
constexpr quint16 resTypeGroupIcon = 14;
constexpr quint16 resTypeVersion = 16;

/// One resource, as the object file holds it. Types and names given as strings are skipped.
struct ResEntry {
    quint16 type = 0;
    quint16 id = 0;
    quint16 language = 0;
    QByteArray data;
};

/// The resources in the .rsrc section of a COFF object file; empty when it has none.
QList<ResEntry> parseCoffResources(const QByteArray& object);

/// The entry of that type and id, or nullptr.
const ResEntry* findResource(const QList<ResEntry>& entries, quint16 type, quint16 id);

/// A node of a version resource: its key, its value (text values decoded) and its children.
struct VersionNode {
    QString key;
    bool isText = false;
    QByteArray value; ///< binary value
    QString text;     ///< text value, without its terminating null
    QList<VersionNode> children;
};

VersionNode parseVersionNode(const QByteArray& data);
