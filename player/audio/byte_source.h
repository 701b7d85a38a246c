#pragma once
// The encoded bytes of a stream, as far as they have arrived. Memory and file
// sources are whole from the start; a network source grows while its download
// thread runs. Decoders read through a cursor and never hold a lock of ours.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace mm::audio {

class ByteSource {
  public:
    virtual ~ByteSource() = default;

    // Copies up to dst.size() bytes from offset without waiting; returns how
    // many were there (0 when nothing has arrived at offset yet).
    virtual size_t ReadAt(uint64_t offset, std::span<uint8_t> dst) = 0;
    // Bytes that have arrived so far.
    virtual uint64_t Arrived() = 0;
    // True when nothing more will arrive (whole, failed or cancelled).
    virtual bool Ended() = 0;
    // True when every byte of the file is here.
    virtual bool Whole() = 0;
    // Size of the whole file when known (file size, Content-Length).
    virtual std::optional<uint64_t> ExpectedSize() = 0;
    // Waits until more than `offset` bytes have arrived, the source has ended,
    // or stop() returns true. stop() is re-checked on Wake() and, for a
    // source that grows, at least every 50 ms.
    virtual void WaitBeyond(uint64_t offset, const std::function<bool()>& stop) = 0;
    // Wakes every WaitBeyond so it re-checks its stop condition.
    virtual void Wake() = 0;
    // Ends a download early; the source then reads as ended.
    virtual void Cancel() {}
    // True while a reader waits in WaitBeyond for bytes that have not arrived:
    // the network is behind.
    virtual bool ReaderWaiting() { return false; }
};

// Bytes held in memory (copied in: the caller may drop its buffer at once).
class MemorySource final : public ByteSource {
  public:
    explicit MemorySource(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    size_t ReadAt(uint64_t offset, std::span<uint8_t> dst) override;
    uint64_t Arrived() override { return bytes_.size(); }
    bool Ended() override { return true; }
    bool Whole() override { return true; }
    std::optional<uint64_t> ExpectedSize() override { return bytes_.size(); }
    void WaitBeyond(uint64_t, const std::function<bool()>&) override {}
    void Wake() override {}

  private:
    std::vector<uint8_t> bytes_;
};

// A local file read in place; `start` skips that many leading bytes.
class FileSource final : public ByteSource {
  public:
    static std::unique_ptr<FileSource> Open(const std::string& path, uint64_t start);
    ~FileSource() override;
    size_t ReadAt(uint64_t offset, std::span<uint8_t> dst) override;
    uint64_t Arrived() override { return size_; }
    bool Ended() override { return true; }
    bool Whole() override { return true; }
    std::optional<uint64_t> ExpectedSize() override { return size_; }
    void WaitBeyond(uint64_t, const std::function<bool()>&) override {}
    void Wake() override {}

  private:
    FileSource(int fd, uint64_t start, uint64_t size) : fd_(fd), start_(start), size_(size) {}
    int fd_;
    uint64_t start_;
    uint64_t size_;
};

}  // namespace mm::audio
