#include "download/resume.h"

#include <sys/stat.h>

#include <cstdio>

namespace mm::download {

namespace {

// Size of a regular file at path (not followed through a link); -1 otherwise.
std::int64_t RegularFileSize(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

}  // namespace

ResumeRecord RecordTransfer(const std::string& url, const std::string& partPath,
                            const net::DownloadAnswer& answer, std::int64_t bytes,
                            const ResumeRecord& before) {
    ResumeRecord r;
    r.url = url;
    r.partPath = partPath;
    r.bytes = bytes;
    r.total = answer.total;
    r.etag = answer.etag;
    r.lastModified = answer.lastModified;
    if (answer.resumedAt > 0) {
        // A 206 need not repeat the validators; the first answer's still hold.
        if (r.etag.empty()) r.etag = before.etag;
        if (r.lastModified.empty()) r.lastModified = before.lastModified;
        if (r.total < 0) r.total = before.total;
    }
    return r;
}

net::ResumeFrom ContinueFrom(const ResumeRecord& saved, const std::string& partPath) {
    net::ResumeFrom from;
    const std::int64_t size = RegularFileSize(partPath);
    if (size <= 0 || saved.partPath.empty()) return from;
    // Without any way to tell the file is the same, a resume could splice two files.
    if (saved.total < 0 && saved.etag.empty() && saved.lastModified.empty()) return from;
    if (saved.total >= 0 && size > saved.total) return from;
    // The file may hold more than was recorded (killed between two records):
    // what reached the file is good, as the kernel wrote it.
    from.offset = size;
    from.total = saved.total;
    from.etag = saved.etag;
    from.lastModified = saved.lastModified;
    return from;
}

bool AdoptPartFile(const ResumeRecord& saved, const std::string& partPath) {
    if (saved.partPath.empty() || RegularFileSize(saved.partPath) <= 0) return false;
    if (saved.partPath == partPath) return true;
    return std::rename(saved.partPath.c_str(), partPath.c_str()) == 0;
}

}  // namespace mm::download
