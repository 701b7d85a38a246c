#include <string_view>

#include "fuzz_support.h"
#include "tags/id3v2.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace mm::tags;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    TagRequest out;
    ParseId3v2(bytes, out);
    fuzz::checkTextSlots(out);
    return 0;
}
