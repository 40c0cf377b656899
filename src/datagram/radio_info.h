// The RadioInfo datagram that contest and logging programs send on every
// change of a radio and at least every 10 s (UDP port 12060 by default):
// one flat XML document, for example
//
//   <?xml version="1.0" encoding="utf-8"?>
//   <RadioInfo>
//     <RadioNr>1</RadioNr>
//     <Freq>1407400</Freq>           tens of hertz, digits only: 14.074 MHz
//     <TXFreq>1407400</TXFreq>
//     <IsTransmitting>False</IsTransmitting>
//     <ActiveRadioNr>1</ActiveRadioNr>   the radio with transmit focus
//     ...                                other elements, read past
//   </RadioInfo>
//
// The parser is strict and bounded: one RadioInfo root, well-formed tags,
// elements nested at most kMaxDepth deep, a datagram of at most
// kMaxRadioInfoSize bytes; every element it uses at most once and in its
// exact form. Anything else is malformed: the datagram is dropped whole.
// Pure code: no I/O, no Qt.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace datagram {

constexpr std::size_t kMaxRadioInfoSize = 16384;
constexpr int kMaxDepth = 8;

struct RadioInfo {
    int radioNr = 0;          // 1 or more
    std::uint64_t freqHz = 0; // 0: the radio reports no frequency
    std::optional<std::uint64_t> txFreqHz;
    bool transmitting = false;        // IsTransmitting, false when absent
    std::optional<int> activeRadioNr; // ActiveRadioNr, when present
};

// The datagram's content, or nullopt with the reason in error (when given).
std::optional<RadioInfo> ParseRadioInfo(std::string_view datagram, std::string* error = nullptr);

} // namespace datagram
