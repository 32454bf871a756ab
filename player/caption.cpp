#include "caption.h"

QString captionForLocation(const QString& location, const QString& folderText)
{
    const QString folderPrefix = folderText + u'/';
    return QString(location).replace(folderPrefix, QString(), Qt::CaseSensitive);
}
