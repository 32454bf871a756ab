// wildcardMatch against a plain dynamic-programming matcher of the same rules:
// "*" any run of characters, "?" any one, everything else ("[" included) itself.

#include "folderquery.h"
#include "fuzzinput.h"

#include <vector>

namespace {

bool referenceMatch(const QString& pattern, const QString& name)
{
    // matches[j]: does the pattern's prefix read so far match name.left(j)?
    std::vector<char> matches(size_t(name.size()) + 1, 0);
    matches[0] = 1;
    for (const QChar p : pattern) {
        std::vector<char> next(matches.size(), 0);
        if (p == u'*') {
            char any = 0;
            for (size_t j = 0; j < matches.size(); ++j) {
                any = char(any | matches[j]);
                next[j] = any;
            }
        } else {
            for (size_t j = 1; j < matches.size(); ++j) {
                next[j] = char(matches[j - 1] && (p == u'?' || p == name[qsizetype(j - 1)]));
            }
        }
        matches.swap(next);
    }
    return matches.back() != 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto parts = fuzz::partsOf(data, size, 2);
    const QString& pattern = parts[0];
    const QString& name = parts[1];
    FUZZ_CHECK(wildcardMatch(pattern, name) == referenceMatch(pattern, name));
    FUZZ_CHECK(wildcardMatch(name, name) == referenceMatch(name, name));
    return 0;
}
