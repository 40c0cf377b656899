#include "datagram/wsjtx_message.h"

namespace datagram {

namespace {

constexpr std::uint32_t kNullLength = 0xFFFFFFFFu;

class StreamReader {
public:
    explicit StreamReader(std::string_view data) : data_(data) {}

    const char* Error() const { return error_; }

    bool U32(std::uint32_t& value) { return Unsigned(4, value); }
    bool U64(std::uint64_t& value) { return Unsigned(8, value); }
    bool Bool(bool& value) {
        std::uint32_t byte = 0;
        if (!Unsigned(1, byte))
            return false;
        if (byte > 1)
            return Fail("a boolean that is neither 0 nor 1");
        value = byte == 1;
        return true;
    }
    // QByteArray: quint32 length (0xFFFFFFFF: null) and the bytes.
    bool Utf8(std::string* value) {
        std::uint32_t length = 0;
        if (!U32(length))
            return false;
        if (length == kNullLength) {
            if (value != nullptr)
                value->clear();
            return true;
        }
        if (length > data_.size() - pos_)
            return Fail("a string longer than the datagram");
        if (value != nullptr)
            value->assign(data_.substr(pos_, length));
        pos_ += length;
        return true;
    }
    bool Fail(const char* why) {
        if (error_ == nullptr)
            error_ = why;
        return false;
    }

private:
    template <typename T> bool Unsigned(std::size_t bytes, T& value) {
        if (bytes > data_.size() - pos_)
            return Fail("the datagram ends inside a field");
        T v = 0;
        for (std::size_t i = 0; i < bytes; ++i)
            v = static_cast<T>((v << 8) | static_cast<unsigned char>(data_[pos_ + i]));
        pos_ += bytes;
        value = v;
        return true;
    }

    std::string_view data_;
    std::size_t pos_ = 0;
    const char* error_ = nullptr;
};

void PutU32(std::string& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

void PutUtf8(std::string& out, std::string_view s) {
    PutU32(out, static_cast<std::uint32_t>(s.size()));
    out.append(s);
}

} // namespace

std::optional<WsjtxMessage> ParseWsjtxMessage(std::string_view datagram, std::string* error) {
    StreamReader r(datagram);
    auto fail = [&r, error]() -> std::optional<WsjtxMessage> {
        if (error != nullptr)
            *error = r.Error();
        return std::nullopt;
    };
    std::uint32_t magic = 0;
    std::uint32_t schema = 0;
    WsjtxMessage m;
    if (!r.U32(magic))
        return fail();
    if (magic != kWsjtxMagic) {
        r.Fail("not a WSJT-X message (wrong magic number)");
        return fail();
    }
    if (!r.U32(schema))
        return fail();
    if (schema != 2 && schema != 3) {
        r.Fail("a schema other than 2 or 3");
        return fail();
    }
    if (!r.U32(m.typeNumber) || !r.Utf8(&m.id))
        return fail();
    switch (m.typeNumber) {
    case 0:
        m.type = WsjtxMessage::Type::Heartbeat;
        return m;
    case 6:
        m.type = WsjtxMessage::Type::Close;
        return m;
    case 1:
        break;
    default:
        m.type = WsjtxMessage::Type::Other;
        return m;
    }
    m.type = WsjtxMessage::Type::Status;
    if (!r.U64(m.dialHz) || !r.Utf8(&m.mode) || !r.Utf8(nullptr) || !r.Utf8(nullptr) ||
        !r.Utf8(nullptr) || !r.Bool(m.txEnabled) || !r.Bool(m.transmitting))
        return fail();
    return m;
}

std::string EncodeWsjtxHeader(std::uint32_t type, std::string_view id) {
    std::string out;
    PutU32(out, kWsjtxMagic);
    PutU32(out, 2);
    PutU32(out, type);
    PutUtf8(out, id);
    return out;
}

std::string EncodeWsjtxStatus(std::string_view id, std::uint64_t dialHz, bool transmitting,
                              std::string_view mode) {
    std::string out = EncodeWsjtxHeader(1, id);
    PutU32(out, static_cast<std::uint32_t>(dialHz >> 32));
    PutU32(out, static_cast<std::uint32_t>(dialHz & 0xFFFFFFFFu));
    PutUtf8(out, mode);
    PutUtf8(out, "");   // DX call
    PutUtf8(out, "");   // report
    PutUtf8(out, mode); // TX mode
    out.push_back(0);   // TX enabled
    out.push_back(transmitting ? 1 : 0);
    out.push_back(0); // decoding
    return out;
}

} // namespace datagram
