#include "mpvnode.h"

#include "mpvlibrary.h"

#include <cstring>

namespace {

const mpv_node* member(const mpv_node& map, const char* key, mpv_format format)
{
    if (map.format != MPV_FORMAT_NODE_MAP) {
        return nullptr;
    }
    for (int i = 0; i < map.u.list->num; ++i) {
        if (std::strcmp(map.u.list->keys[i], key) == 0) {
            const mpv_node& value = map.u.list->values[i];
            return value.format == format ? &value : nullptr;
        }
    }
    return nullptr;
}

} // namespace

QVariant toVariant(const mpv_node& node)
{
    switch (node.format) {
    case MPV_FORMAT_STRING:
        return QString::fromUtf8(node.u.string);
    case MPV_FORMAT_FLAG:
        return node.u.flag != 0;
    case MPV_FORMAT_INT64:
        return qint64(node.u.int64);
    case MPV_FORMAT_DOUBLE:
        return node.u.double_;
    case MPV_FORMAT_NODE_ARRAY: {
        QVariantList list;
        for (int i = 0; i < node.u.list->num; ++i) {
            list.append(toVariant(node.u.list->values[i]));
        }
        return list;
    }
    case MPV_FORMAT_NODE_MAP: {
        QVariantMap map;
        for (int i = 0; i < node.u.list->num; ++i) {
            map.insert(QString::fromUtf8(node.u.list->keys[i]), toVariant(node.u.list->values[i]));
        }
        return map;
    }
    default:
        return {};
    }
}

QImage toImage(const mpv_node& picture)
{
    const mpv_node* width = member(picture, "w", MPV_FORMAT_INT64);
    const mpv_node* height = member(picture, "h", MPV_FORMAT_INT64);
    const mpv_node* stride = member(picture, "stride", MPV_FORMAT_INT64);
    const mpv_node* format = member(picture, "format", MPV_FORMAT_STRING);
    const mpv_node* data = member(picture, "data", MPV_FORMAT_BYTE_ARRAY);
    if (!width || !height || !stride || !format || !data || std::strcmp(format->u.string, "bgr0") != 0) {
        return {};
    }
    const qint64 w = width->u.int64;
    const qint64 h = height->u.int64;
    const qint64 rowBytes = stride->u.int64;
    if (w <= 0 || h <= 0 || w > 1 << 15 || h > 1 << 15 || rowBytes < w * 4 ||
        size_t(rowBytes) * size_t(h) > data->u.ba->size) {
        return {};
    }
    // "bgr0" is QImage's RGB32 byte order on a little-endian machine.
    const QImage shared(static_cast<const uchar*>(data->u.ba->data), int(w), int(h), qsizetype(rowBytes),
                        QImage::Format_RGB32);
    return shared.copy();
}
