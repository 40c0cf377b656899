// The UDP messages WSJT-X sends to its companion programs (port 2237 by
// default, or a multicast group), in Qt's QDataStream form, big-endian:
//
//   quint32 magic 0xADBCCBDA, quint32 schema (2 or 3), quint32 type,
//   utf8 id (the instance's name: quint32 length, 0xFFFFFFFF for null), ...
//
// Read here: Heartbeat (type 0: the instance is alive), Status (type 1:
// quint64 dial frequency in Hz, utf8 mode, DX call, report, TX mode, bool
// TX enabled, bool transmitting, ...; what follows is not needed) and Close
// (type 6: the instance ends). Other types are recognised by their header
// and left alone. Every read is bounds-checked; a header or a Status that
// does not hold together is malformed. Pure code: no I/O, no Qt.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace datagram {

constexpr std::uint32_t kWsjtxMagic = 0xADBCCBDA;

struct WsjtxMessage {
    enum class Type { Heartbeat, Status, Close, Other };
    Type type = Type::Other;
    std::uint32_t typeNumber = 0;
    std::string id; // the instance's id, as sent (UTF-8)
    // Status only:
    std::uint64_t dialHz = 0; // 0 until the instance's rig answers
    std::string mode;
    bool txEnabled = false;
    bool transmitting = false;
};

// The message, or nullopt with the reason in error (when given).
std::optional<WsjtxMessage> ParseWsjtxMessage(std::string_view datagram,
                                              std::string* error = nullptr);

// A Status message as WSJT-X sends it (schema 2), for tests, benchmarks and
// fuzz seeds: the fields read above, then empty or false ones after them.
std::string EncodeWsjtxStatus(std::string_view id, std::uint64_t dialHz, bool transmitting,
                              std::string_view mode = "FT8");
// A header-only message (Heartbeat's fields are not written).
std::string EncodeWsjtxHeader(std::uint32_t type, std::string_view id);

} // namespace datagram
