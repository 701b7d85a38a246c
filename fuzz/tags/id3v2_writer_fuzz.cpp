// Writes a tag into the input taken as a whole file, then checks what the
// writer promises: the audio after the old tag is unchanged behind the new
// one, and the new tag reads back.
#include "fuzz_support.h"
#include "tags/id3v2.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace mm::tags;
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string& path = fuzz::scratchPath();
    if (!fuzz::putFile(path, input)) return 0;
    const TagRequest request = fuzz::downloadRequest();
    const bool ok = WriteId3v2(path, request);
    const std::string output = fuzz::getFile(path);
    if (!ok) {
        fuzz::check(output == input, "a refused write leaves the file as it was");
        return 0;
    }
    const uint64_t oldLen = Id3v2TagLength(input, input.size());
    const uint64_t newLen = Id3v2TagLength(output, output.size());
    fuzz::check(newLen > 0, "the file starts with a tag");
    fuzz::check(output.compare(newLen, std::string::npos, input, oldLen) == 0, "audio unchanged");
    TagRequest back;
    fuzz::check(ReadId3v2(path, back), "the tag reads back");
    fuzz::check(back.get(Slot::Title) == request.get(Slot::Title), "title reads back");
    fuzz::check(back.get(Slot::Lyrics) == request.get(Slot::Lyrics), "lyrics read back");
    fuzz::check(back.get(Slot::Picture) == request.get(Slot::Picture), "cover reads back");
    fuzz::checkTextSlots(back);
    return 0;
}
