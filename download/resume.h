#pragma once
// Continuing a cut-off download: what a transfer leaves behind for the next
// attempt, and where that attempt may pick up. The next attempt asks for the
// rest with an HTTP Range request; the answer continues the part file only when
// it is the same file (size, ETag / Last-Modified), otherwise it starts over.
#include <cstdint>
#include <string>

#include "platform/net/download_file.h"

namespace mm::download {

// What a transfer that did not finish leaves for the next attempt (the
// download history keeps it across runs).
struct ResumeRecord {
    std::string url;          // the file address the part file came from
    std::string partPath;     // the part file
    std::int64_t bytes = 0;   // bytes in the part file
    std::int64_t total = -1;  // whole size as the first answer gave it; -1 unknown
    std::string etag;         // validators of that answer, "" when absent
    std::string lastModified;

    bool operator==(const ResumeRecord&) const = default;
};

// The record of a transfer whose answer is known: the answer's size and
// validators, the bytes now in the part file. An answer that continued an
// earlier one keeps that one's validators where it sent none.
ResumeRecord RecordTransfer(const std::string& url, const std::string& partPath,
                            const net::DownloadAnswer& answer, std::int64_t bytes,
                            const ResumeRecord& before = {});

// Where a download into partPath continues, given what an earlier attempt
// recorded: the bytes really in the part file (a regular file, never a link),
// with the recorded size and validators. From scratch when there is nothing
// sound to continue: no record, no part file, or more bytes than the whole.
net::ResumeFrom ContinueFrom(const ResumeRecord& saved, const std::string& partPath);

// Moves an earlier attempt's part file to the name this attempt writes (the
// target's name may have changed: a name taken meanwhile, another type). True
// when partPath now holds those bytes; false leaves both as they were.
bool AdoptPartFile(const ResumeRecord& saved, const std::string& partPath);

}  // namespace mm::download
