// The caption rule against a direct reading of it: scan the location from the start; wherever the
// folder prefix begins, drop it and go on after it; keep every other character.

#include "caption.h"
#include "fuzzinput.h"

namespace {

QString referenceCaption(const QString& location, const QString& folderText)
{
    const QString prefix = folderText + u'/';
    QString caption;
    qsizetype i = 0;
    while (i < location.size()) {
        if (QStringView(location).mid(i).startsWith(prefix)) {
            i += prefix.size();
        } else {
            caption.append(location[i++]);
        }
    }
    return caption;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto parts = fuzz::partsOf(data, size, 2);
    const QString& location = parts[0];
    const QString& folderText = parts[1];
    const QString caption = captionForLocation(location, folderText);
    FUZZ_CHECK(caption == referenceCaption(location, folderText));
    FUZZ_CHECK(caption.size() <= location.size());
    // The location with the folder in front of it loses at least that folder.
    const QString composed = folderText + u'/' + location;
    FUZZ_CHECK(captionForLocation(composed, folderText).size() <= location.size());
    return 0;
}
