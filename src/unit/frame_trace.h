// One trace format for every frame, both ways: "tx" or "rx", a blank, the
// frame's content in upper-case hex (unescaped, checksum included).
#pragma once

#include "protocol/bytes.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace koravel {

class FrameTrace {
public:
    FrameTrace() = default;
    ~FrameTrace();
    FrameTrace(const FrameTrace&) = delete;
    FrameTrace& operator=(const FrameTrace&) = delete;

    // Starts writing to path (truncated). False with errno set on failure.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return file_ != nullptr; }
    // One line, flushed at once.
    void Log(const char* direction, ByteView contentWithChecksum);
    static std::string Line(const char* direction, ByteView contentWithChecksum);

private:
    std::mutex mutex_;
    std::FILE* file_ = nullptr;
};

} // namespace koravel
