#include "resfile.h"

#include <QtEndian>

namespace {

qsizetype alignUp(qsizetype at)
{
    return (at + 3) & ~qsizetype(3);
}

// A bounds-checked little-endian reader over one byte range.
class Reader {
public:
    Reader(const QByteArray& data, qsizetype begin, qsizetype end)
        : m_data(data)
        , m_at(begin)
        , m_end(qMin(end, data.size()))
    {
    }

    bool ok() const { return m_ok; }
    qsizetype at() const { return m_at; }
    void seek(qsizetype at) { m_at = at; }

    quint16 word()
    {
        if (!require(2)) {
            return 0;
        }
        const auto value = qFromLittleEndian<quint16>(m_data.constData() + m_at);
        m_at += 2;
        return value;
    }

    quint32 dword()
    {
        const quint32 low = word();
        return low | quint32(word()) << 16;
    }

    QByteArray bytes(qsizetype count)
    {
        if (!require(count)) {
            return {};
        }
        const QByteArray value = m_data.mid(m_at, count);
        m_at += count;
        return value;
    }

    // A null-terminated UTF-16 string.
    QString string()
    {
        QString text;
        while (m_ok) {
            const quint16 unit = word();
            if (unit == 0) {
                break;
            }
            text.append(QChar(unit));
        }
        return text;
    }

    // A resource type or name: 0xFFFF and a number, or a string (reported as 0).
    quint16 ordinal()
    {
        if (!require(2)) {
            return 0;
        }
        if (qFromLittleEndian<quint16>(m_data.constData() + m_at) == 0xFFFF) {
            word();
            return word();
        }
        string();
        return 0;
    }

private:
    bool require(qsizetype count)
    {
        m_ok = m_ok && count >= 0 && m_at + count <= m_end;
        return m_ok;
    }

    const QByteArray& m_data;
    qsizetype m_at;
    qsizetype m_end;
    bool m_ok = true;
};

} // namespace

namespace {

constexpr quint32 subdirectoryBit = 0x80000000;

// The .rsrc section's bytes: the COFF header, then the section table after the optional header.
QByteArray resourceSection(const QByteArray& object)
{
    Reader header(object, 0, object.size());
    header.word(); // machine
    const quint16 sections = header.word();
    header.seek(16);
    const quint16 optionalHeader = header.word();
    for (quint16 i = 0; i < sections && header.ok(); ++i) {
        Reader section(object, 20 + optionalHeader + i * 40, object.size());
        const QByteArray name = section.bytes(8);
        section.seek(section.at() + 8); // virtual size and address
        const quint32 size = section.dword();
        const quint32 offset = section.dword();
        if (section.ok() && name.startsWith(".rsrc")) {
            return object.mid(offset, size);
        }
    }
    return {};
}

// The entries of one resource directory: (id, offset of the subdirectory or data entry).
QList<QPair<quint32, quint32>> directoryEntries(const QByteArray& rsrc, quint32 at)
{
    Reader reader(rsrc, at + 12, rsrc.size());
    const quint16 named = reader.word();
    const quint16 numbered = reader.word();
    QList<QPair<quint32, quint32>> entries;
    for (int i = 0; i < named + numbered && reader.ok(); ++i) {
        const quint32 id = reader.dword();
        const quint32 offset = reader.dword();
        if (reader.ok() && i >= named) {
            entries.append({id, offset});
        }
    }
    return entries;
}

// The data of a leaf. In an object file its address is the offset in the section; the linker
// relocates it.
QByteArray leafData(const QByteArray& rsrc, quint32 at)
{
    Reader reader(rsrc, at, rsrc.size());
    const quint32 offset = reader.dword();
    const quint32 size = reader.dword();
    return reader.ok() ? rsrc.mid(offset, size) : QByteArray();
}

} // namespace

QList<ResEntry> parseCoffResources(const QByteArray& object)
{
    const QByteArray rsrc = resourceSection(object);
    QList<ResEntry> resources;
    if (rsrc.isEmpty()) {
        return resources;
    }
    // Three levels, by the resource tree's own definition: type, then name, then language.
    for (const auto& [type, names] : directoryEntries(rsrc, 0)) {
        for (const auto& [id, languages] : directoryEntries(rsrc, names & ~subdirectoryBit)) {
            for (const auto& [language, leaf] : directoryEntries(rsrc, languages & ~subdirectoryBit)) {
                resources.append({quint16(type), quint16(id), quint16(language), leafData(rsrc, leaf)});
            }
        }
    }
    return resources;
}

const ResEntry* findResource(const QList<ResEntry>& entries, quint16 type, quint16 id)
{
    for (const ResEntry& entry : entries) {
        if (entry.type == type && entry.id == id) {
            return &entry;
        }
    }
    return nullptr;
}

namespace {

VersionNode parseNodeAt(const QByteArray& data, qsizetype start, qsizetype limit)
{
    Reader reader(data, start, limit);
    const quint16 length = reader.word();
    const quint16 valueLength = reader.word();
    const quint16 type = reader.word();
    const qsizetype end = qMin(start + qsizetype(length), limit);
    Reader body(data, reader.at(), end);
    VersionNode node;
    node.key = body.string();
    body.seek(alignUp(body.at()));
    node.isText = type == 1;
    if (node.isText) {
        // The length of a text value counts UTF-16 units, its terminating null included.
        const QByteArray raw = body.bytes(qsizetype(valueLength) * 2);
        node.text = QString::fromUtf16(reinterpret_cast<const char16_t*>(raw.constData()), raw.size() / 2);
        while (node.text.endsWith(QChar(0))) {
            node.text.chop(1);
        }
    } else {
        node.value = body.bytes(valueLength);
    }
    qsizetype child = alignUp(body.at());
    while (body.ok() && child + 6 <= end) {
        node.children.append(parseNodeAt(data, child, end));
        const quint16 childLength = qFromLittleEndian<quint16>(data.constData() + child);
        if (childLength == 0) {
            break;
        }
        child = alignUp(child + childLength);
    }
    return node;
}

} // namespace

VersionNode parseVersionNode(const QByteArray& data)
{
    return parseNodeAt(data, 0, data.size());
}
