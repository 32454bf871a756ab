// The file list sorts with naturalLess: it must be a strict weak ordering, or std::sort may run
// past the end of the list. Checked on triples of names; naturalCompare must agree with itself.

#include "fuzzinput.h"
#include "naturalorder.h"

namespace {

struct Name {
    QString text;
    QString key;
};

bool less(const Name& a, const Name& b)
{
    return naturalLess(a.key, a.text, b.key, b.text);
}

int sign(int value)
{
    return (value > 0) - (value < 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto parts = fuzz::partsOf(data, size, 3);
    Name names[3];
    for (int i = 0; i < 3; ++i) {
        names[i] = {parts[size_t(i)], naturalSortKey(parts[size_t(i)])};
    }
    for (const Name& a : names) {
        FUZZ_CHECK(!less(a, a));
        FUZZ_CHECK(naturalCompare(a.key, a.key) == 0);
        for (const Name& b : names) {
            FUZZ_CHECK(!(less(a, b) && less(b, a)));
            FUZZ_CHECK(less(a, b) || less(b, a) || a.text == b.text);
            FUZZ_CHECK(sign(naturalCompare(a.key, b.key)) == -sign(naturalCompare(b.key, a.key)));
            for (const Name& c : names) {
                if (less(a, b) && less(b, c)) {
                    FUZZ_CHECK(less(a, c));
                }
                if (naturalCompare(a.key, b.key) <= 0 && naturalCompare(b.key, c.key) <= 0) {
                    FUZZ_CHECK(naturalCompare(a.key, c.key) <= 0);
                }
            }
        }
    }
    return 0;
}
