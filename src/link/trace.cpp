#include "link/trace.h"

namespace koravel {

namespace {
constexpr char kHex[] = "0123456789ABCDEF";
}

std::string HexPacked(ByteView bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes) {
        out.push_back(kHex[b >> 4]);
        out.push_back(kHex[b & 0x0F]);
    }
    return out;
}

std::string HexSpaced(ByteView bytes) {
    std::string out;
    out.reserve(bytes.size() * 3);
    for (std::uint8_t b : bytes) {
        if (!out.empty())
            out.push_back(' ');
        out.push_back(kHex[b >> 4]);
        out.push_back(kHex[b & 0x0F]);
    }
    return out;
}

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
