#include <string_view>

#include "fuzz_support.h"
#include "tags/flac.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace mm::tags;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    TagRequest out;
    ParseFlacMetadata(bytes, size, out);
    fuzz::checkTextSlots(out);
    return 0;
}
