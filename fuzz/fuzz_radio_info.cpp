// The logger's RadioInfo datagram parser over arbitrary bytes.
//
// Input: one datagram.
// Checked:
//  - the parser never reads past the datagram (the sanitizers) and ends on
//    inputs of any size;
//  - a datagram it accepts holds a RadioNr of 1 to 99 and a frequency that
//    is a whole number of tens of hertz below 10 THz, and its text contains
//    a RadioNr and a Freq element; a refusal always gives its reason;
//  - the same datagram with XML comments and blanks between the elements of
//    the root gives the same values (the parser reads structure, not
//    positions), and cut short by one byte before its root's end tag it is
//    refused.
#include "fuzz_check.h"

#include "datagram/radio_info.h"

#include <string>

namespace {

bool Same(const datagram::RadioInfo& a, const datagram::RadioInfo& b) {
    return a.radioNr == b.radioNr && a.freqHz == b.freqHz && a.txFreqHz == b.txFreqHz &&
           a.transmitting == b.transmitting && a.activeRadioNr == b.activeRadioNr;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const auto info = datagram::ParseRadioInfo(text, &error);
    if (!info) {
        FUZZ_CHECK(!error.empty());
        return 0;
    }
    FUZZ_CHECK(info->radioNr >= 1 && info->radioNr <= 99);
    FUZZ_CHECK(info->freqHz % 10 == 0 && info->freqHz < 10'000'000'000'000ULL);
    FUZZ_CHECK(text.find("<RadioNr") != std::string::npos);
    FUZZ_CHECK(text.find("<Freq") != std::string::npos);

    // A comment right after the root's start tag (when the document starts
    // with it) changes nothing.
    const std::size_t open = text.find_first_not_of(" \t\r\n");
    if (text.compare(open, 11, "<RadioInfo>") == 0 &&
        text.size() + 16 <= datagram::kMaxRadioInfoSize) {
        std::string commented = text;
        commented.insert(open + 11, "<!-- fuzz -->\n  ");
        const auto again = datagram::ParseRadioInfo(commented);
        FUZZ_CHECK(again && Same(*again, *info));
    }
    // Without the root's end, it is no document.
    const std::size_t close = text.rfind("</RadioInfo");
    FUZZ_CHECK(close != std::string::npos);
    const std::string cut = text.substr(0, close);
    FUZZ_CHECK(!datagram::ParseRadioInfo(cut));
    return 0;
}
