// The WSJT-X message parser over arbitrary bytes.
//
// Input: one datagram.
// Checked:
//  - the parser never reads past the datagram (the sanitizers), and accepts
//    only the magic number and schema 2 or 3;
//  - every prefix of an accepted Status that stops inside what is read is
//    refused; a Status built again from the values read parses back to the
//    same values.
#include "fuzz_check.h"

#include "datagram/wsjtx_message.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::string error;
    const auto message = datagram::ParseWsjtxMessage(bytes, &error);
    if (!message) {
        FUZZ_CHECK(!error.empty());
        return 0;
    }
    FUZZ_CHECK(size >= 16);
    FUZZ_CHECK(bytes.compare(0, 4, "\xAD\xBC\xCB\xDA") == 0);
    FUZZ_CHECK(data[4] == 0 && data[5] == 0 && data[6] == 0 && (data[7] == 2 || data[7] == 3));
    FUZZ_CHECK(message->id.size() <= size - 16);
    if (message->type != datagram::WsjtxMessage::Type::Status)
        return 0;
    // The header, the id, the dial frequency, four strings and two booleans
    // are read: a cut anywhere before the end of the second boolean fails.
    for (std::size_t cut = 0; cut < size; cut += 1 + cut / 8) {
        const auto part = datagram::ParseWsjtxMessage(bytes.substr(0, cut));
        if (part)
            FUZZ_CHECK(cut >= 16 + message->id.size() + 8 + 4 * 4 + message->mode.size() + 2);
    }
    const auto rebuilt = datagram::ParseWsjtxMessage(datagram::EncodeWsjtxStatus(
        message->id, message->dialHz, message->transmitting, message->mode));
    FUZZ_CHECK(rebuilt && rebuilt->id == message->id && rebuilt->dialHz == message->dialHz &&
               rebuilt->transmitting == message->transmitting && rebuilt->mode == message->mode);
    return 0;
}
