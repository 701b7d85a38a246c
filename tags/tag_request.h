#pragma once
// The values handed to the tag writers and filled by the tag readers: 24
// numbered slots, each an owned text (UTF-8) or byte block, empty unless set.
#include <array>
#include <string>

namespace mm::tags {

// Slot numbers in use; 13, 14, 18, 19 and 22 to 24 exist but hold nothing.
enum class Slot : int {
    Artist = 1,
    Title = 2,
    Album = 3,
    Copyright = 4,
    Comment = 5,
    TrackNumber = 6,
    Encoder = 7,  // the FLAC reader puts its format description here
    Genre = 8,
    Lyrics = 9,  // UTF-8 bytes
    Year = 10,
    Url = 11,
    Composer = 12,
    SampleRate = 15,
    Compression = 16,  // file size as a percentage of the raw PCM size
    Channels = 17,
    Duration = 20,  // "MM:SS"
    Picture = 21,   // JPEG or PNG bytes
};

class TagRequest {
  public:
    static constexpr int kSlotCount = 24;

    const std::string& get(Slot s) const { return slots_[static_cast<int>(s)]; }
    void set(Slot s, std::string value) { slots_[static_cast<int>(s)] = std::move(value); }
    bool has(Slot s) const { return !get(s).empty(); }

    // By number, 1..24. Out of range reads give an empty text and writes fail.
    const std::string& slot(int n) const;
    bool setSlot(int n, std::string value);

    // MIME type of the picture as the readers found it ("image/jpeg",
    // "image/png", ...); the writers look at the picture bytes instead.
    const std::string& pictureMime() const { return pictureMime_; }
    void setPictureMime(std::string mime) { pictureMime_ = std::move(mime); }

    bool empty() const;
    void clear();

  private:
    std::array<std::string, kSlotCount + 1> slots_;  // [0] unused: slots count from 1
    std::string pictureMime_;
};

}  // namespace mm::tags
