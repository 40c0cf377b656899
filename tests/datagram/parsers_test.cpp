// The station datagram parsers and the JSON line writer, each on one table:
// what a sender really puts on the air, and the ways a datagram can lie.
#include "datagram/radio_info.h"
#include "datagram/wsjtx_message.h"
#include "json/json_line.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

std::string Radio(const std::string& inner) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<RadioInfo>\r\n" + inner +
           "\r\n</RadioInfo>";
}

TEST(RadioInfoParser, ReadsWhatLoggersSendAndDropsTheRest) {
    struct Case {
        std::string text;
        bool ok;
        int radio = 0;
        std::uint64_t hz = 0;
        bool tx = false;
        int active = 0;
    };
    const std::string freq = "<RadioNr>1</RadioNr><Freq>1407400</Freq>";
    const Case cases[] = {
        {Radio("  <app>N1MM</app>\r\n  <StationName>SHACK</StationName>\r\n  <RadioNr>2</RadioNr>"
               "\r\n  <Freq>2120000</Freq>\r\n  <TXFreq>2120100</TXFreq>\r\n  <Mode>CW</Mode>"
               "\r\n  <IsTransmitting>True</IsTransmitting>\r\n  <ActiveRadioNr>1</ActiveRadioNr>"
               "\r\n  <Rotors><Rotor name=\"a>b\" n = '2'>1</Rotor></Rotors><AuxAntSelectedName/>"),
         true, 2, 21200000, true, 1},
        {"\xEF\xBB\xBF<RadioInfo><!-- n --><RadioNr>1</RadioNr><Freq> 1407400 </Freq>"
         "<IsTransmitting>false</IsTransmitting></RadioInfo>\n",
         true, 1, 14074000, false, 0},
        {Radio("<RadioNr>1</RadioNr><Freq>0</Freq>"), true, 1, 0},
        // Malformed: each is dropped whole.
        {Radio("<RadioNr>1</RadioNr>"), false},                       // no Freq
        {Radio("<Freq>1407400</Freq>"), false},                       // no RadioNr
        {Radio(freq + "<Freq>700000</Freq>"), false},                 // a field twice
        {Radio("<RadioNr>1</RadioNr><Freq>14.074,00</Freq>"), false}, // a separator
        {Radio("<RadioNr>1</RadioNr><Freq>-1407400</Freq>"), false},
        {Radio("<RadioNr>1</RadioNr><Freq>1234567890123</Freq>"), false}, // 13 digits
        {Radio("<RadioNr>0</RadioNr><Freq>1407400</Freq>"), false},
        {Radio(freq + "<IsTransmitting>yes</IsTransmitting>"), false},
        {Radio(freq + "<Mode>CW</Modus>"), false},                    // end tag of another element
        {Radio(freq + "<Freq2><Freq>1</Freq></Freq2><Mode>"), false}, // unclosed
        {"<RadioInfo>" + freq, false},                                // truncated
        {"<RadioInfo>" + freq + "</RadioInfo><RadioInfo/>", false},   // two roots
        {"<ContactInfo>" + freq + "</ContactInfo>", false},
        {"<RadioInfo>x" + freq + "</RadioInfo>", false},
        {Radio(freq + "<![CDATA[<Freq>1</Freq>]]>"), false},
        {Radio("<RadioNr>1</RadioNr><Freq\xFF\xFF>2120000</Freq>"), false}, // a name cut by bytes
        {Radio(freq + "<Rotor a=1>x</Rotor>"), false},                      // unquoted value
        {Radio(freq + "<a><b><c><d><e><f><g><h>1</h></g></f></e></d></c></b></a>"), false},
        {"<RadioInfo>" + freq + std::string(20000, ' ') + "</RadioInfo>", false},
        {"", false},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto info = datagram::ParseRadioInfo(c.text, &error);
        ASSERT_EQ(info.has_value(), c.ok) << c.text.substr(0, 200) << "\n" << error;
        if (!c.ok) {
            EXPECT_FALSE(error.empty()) << c.text.substr(0, 200);
            continue;
        }
        EXPECT_EQ(info->radioNr, c.radio);
        EXPECT_EQ(info->freqHz, c.hz);
        EXPECT_EQ(info->transmitting, c.tx);
        EXPECT_EQ(info->activeRadioNr.value_or(0), c.active);
    }
}

TEST(WsjtxParser, ReadsHeartbeatStatusAndCloseAndChecksEveryBound) {
    const std::string status = datagram::EncodeWsjtxStatus("WSJT-X - IC7300", 7074000, true);
    auto m = datagram::ParseWsjtxMessage(status);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->type, datagram::WsjtxMessage::Type::Status);
    EXPECT_EQ(m->id, "WSJT-X - IC7300");
    EXPECT_EQ(m->dialHz, 7074000u);
    EXPECT_EQ(m->mode, "FT8");
    EXPECT_TRUE(m->transmitting);
    // Above 4 GHz the high word counts.
    m = datagram::ParseWsjtxMessage(datagram::EncodeWsjtxStatus("W", 10368100000ULL, false));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->dialHz, 10368100000ULL);

    const struct {
        std::uint32_t type;
        datagram::WsjtxMessage::Type expected;
    } headers[] = {{0, datagram::WsjtxMessage::Type::Heartbeat},
                   {6, datagram::WsjtxMessage::Type::Close},
                   {2, datagram::WsjtxMessage::Type::Other}};
    for (const auto& h : headers) {
        m = datagram::ParseWsjtxMessage(datagram::EncodeWsjtxHeader(h.type, "WSJT-X"));
        ASSERT_TRUE(m) << h.type;
        EXPECT_EQ(m->type, h.expected);
    }

    // Every cut of a Status is malformed, and so are lies in its header.
    for (std::size_t n = 0; n + 1 < status.size(); ++n)
        EXPECT_FALSE(datagram::ParseWsjtxMessage(status.substr(0, n))) << n;
    auto patched = [&status](std::size_t at, char byte) {
        std::string s = status;
        s[at] = byte;
        return s;
    };
    std::string error;
    EXPECT_FALSE(datagram::ParseWsjtxMessage(patched(0, 0x00), &error)) << "magic";
    EXPECT_FALSE(datagram::ParseWsjtxMessage(patched(7, 0x04), &error)) << "schema 4";
    EXPECT_FALSE(datagram::ParseWsjtxMessage(patched(12, 0x7F), &error)) << "id longer than all";
    const std::size_t transmitting = status.size() - 2;
    EXPECT_FALSE(datagram::ParseWsjtxMessage(patched(transmitting, 0x02), &error)) << "bool 2";
    // A null id (length 0xFFFFFFFF) is an empty one, not a huge one.
    std::string nullId = datagram::EncodeWsjtxHeader(0, "");
    nullId.replace(12, 4, "\xFF\xFF\xFF\xFF");
    m = datagram::ParseWsjtxMessage(nullId);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->id, "");
}

TEST(JsonLine, EscapesStringsAndStampsTimes) {
    const struct {
        std::string in;
        std::string out;
    } strings[] = {
        {"plain", "\"plain\""},
        {"a \"quoted\" \\ path", R"("a \"quoted\" \\ path")"},
        {"line\nbreak\ttab\r", R"("line\nbreak\ttab\r")"},
        {std::string("nul\0bell\x07", 9), R"("nul\u0000bell\u0007")"},
        {"Radio 2 \xC3\xA8 \xE2\x82\xAC", "\"Radio 2 \xC3\xA8 \xE2\x82\xAC\""},
        {"bad \xC3 and \xFF\xFE", "\"bad \xEF\xBF\xBD and \xEF\xBF\xBD\xEF\xBF\xBD\""},
        {"overlong \xC0\xAF", "\"overlong \xEF\xBF\xBD\xEF\xBF\xBD\""},
    };
    for (const auto& s : strings)
        EXPECT_EQ(json::Quoted(s.in), s.out);
    EXPECT_EQ(json::Line().Add("k", 14074).Add("b", false).AddNull("n").Add("s", "x").Text(),
              R"({"k":14074,"b":false,"n":null,"s":"x"})");

    using namespace std::chrono;
    EXPECT_EQ(json::Rfc3339Utc(system_clock::time_point(milliseconds(1772373909042))),
              "2026-03-01T14:05:09.042Z");
    EXPECT_EQ(json::Rfc3339Utc(system_clock::time_point(milliseconds(-1))),
              "1969-12-31T23:59:59.999Z");
}

} // namespace
