// Fuzzes the wake helper's reading of requests: any bytes, a byte at a time, as the helper reads them.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "wake/request.h"

/* Every request taken is exactly a line the clock writes, so no two spellings
   mean one thing and nothing else gets through; the first byte that is not ends
   the helper, so nothing after it is read. */
extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    twakeline line{};
    size_t start = 0;
    for (size_t i = 0; i < size; i++) {
        long long at = -2;
        twakerequest r = wakebyte(&line, (char)data[i], &at);
        if (r == wakemore)
            continue;
        if (r == wakebad)
            break;
        if (r == wakeat && (at < 1 || at >= 1000000000000000000LL))
            std::abort();
        char written[wakelinemax];
        size_t n = wakeline(r == wakeat ? at : -1, written);
        if (n != i + 1 - start || std::memcmp(written, data + start, n) != 0)
            std::abort();
        start = i + 1;
    }
    return 0;
}
