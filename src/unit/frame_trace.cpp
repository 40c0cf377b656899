#include "unit/frame_trace.h"

namespace koravel {

FrameTrace::~FrameTrace() {
    Close();
}

bool FrameTrace::Open(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_ != nullptr)
        std::fclose(file_);
    file_ = std::fopen(path.c_str(), "w");
    return file_ != nullptr;
}

void FrameTrace::Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_ != nullptr)
        std::fclose(file_);
    file_ = nullptr;
}

std::string FrameTrace::Line(const char* direction, ByteView contentWithChecksum) {
    return std::string(direction) + " " + HexPacked(contentWithChecksum);
}

void FrameTrace::Log(const char* direction, ByteView contentWithChecksum) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_ == nullptr)
        return;
    std::string line = Line(direction, contentWithChecksum);
    std::fprintf(file_, "%s\n", line.c_str());
    std::fflush(file_);
}

} // namespace koravel
