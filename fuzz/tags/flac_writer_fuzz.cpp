// Writes comments and a cover into the input taken as a whole file, then checks
// what the writer promises: the audio frames unchanged, well-formed metadata
// with exactly one block flagged last, and the values reading back.
#include <string_view>

#include "fuzz_support.h"
#include "tags/flac.h"
#include "tags/flac_blocks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace mm::tags;
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string& path = fuzz::scratchPath();
    if (!fuzz::putFile(path, input)) return 0;
    const TagRequest request = fuzz::downloadRequest();
    const bool ok = WriteFlacTags(path, request);
    const std::string output = fuzz::getFile(path);
    if (!ok) {
        fuzz::check(output == input, "a refused write leaves the file as it was");
        return 0;
    }
    flac::BlockWalker oldWalk(input), newWalk(output);
    flac::Block b;
    while (oldWalk.next(b)) {
    }
    int blocks = 0, flagged = 0;
    while (newWalk.next(b)) {
        ++blocks;
        flagged += b.last ? 1 : 0;
    }
    fuzz::check(oldWalk.finished() && newWalk.finished(), "metadata ends with a flagged block");
    fuzz::check(flagged == 1 && blocks >= 3, "one flagged block after STREAMINFO and the new ones");
    fuzz::check(output.compare(newWalk.position(), std::string::npos, input, oldWalk.position()) == 0,
                "audio unchanged");
    TagRequest back;
    fuzz::check(ReadFlacTags(path, back), "the metadata reads back");
    fuzz::check(back.get(Slot::Title) == request.get(Slot::Title), "title reads back");
    fuzz::check(back.get(Slot::Picture) == request.get(Slot::Picture), "cover reads back");
    fuzz::checkTextSlots(back);
    return 0;
}
