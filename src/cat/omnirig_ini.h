// omnirig.ini in the config folder: the CAT back end's own settings, one
// section per rig ([Rig1], [Rig2]):
//
//   Model    Hamlib model number; 0 means "not configured" (status 0).
//            Default 2, Hamlib's NET rigctl.
//   Port     device path, or host:port for a network model. Default for the
//            NET rigctl model 127.0.0.1:4532 (rig 1) and 127.0.0.1:4533
//            (rig 2); for other models empty, which leaves Hamlib's default.
//   Speed    serial speed in baud; 0 or absent: the model's default.
//   PollMs   pause between two readings of the rig, 10 to 60000. Default 100.
//   Enabled  true or false; a disabled rig is not polled (status 1).
//            Default true.
//   Source   where the rig's state comes from: hamlib (polled through
//            Hamlib, the keys above; the default), radioinfo (the RadioInfo
//            datagrams of a logger) or wsjtx (WSJT-X's Status messages).
//            The datagram sources use the keys below and ignore Model, Port,
//            Speed and PollMs.
//   UdpPort  the UDP port the datagrams come to, 1 to 65535. Default 12060
//            for radioinfo, 2237 for wsjtx.
//   Radio    radioinfo: the logger's radio the rig follows, 1 or 2, or
//            focus for the radio with transmit focus (ActiveRadioNr).
//            Default: the rig's own number.
//   Multicast  wsjtx: the IPv4 multicast group to join (WSJT-X's "UDP
//            Server" set to a group address); empty: none.
//   Instance wsjtx: the id of the WSJT-X instance to follow ("WSJT-X", or
//            "WSJT-X - NAME" for one started with --rig-name); empty: any.
//   NotHeardS  seconds without a datagram for the rig after which it counts
//            as not responding ("not heard for N s"), 2 to 3600. Default
//            30: the senders repeat their state at least every 10 s (WSJT-X
//            its heartbeat every 15 s), so two lost datagrams are no outage.
//
// A missing file or key takes the default. A value that does not parse is an
// error naming the file, the section and the key; nothing is guessed.
//
// The file is read and written by the INI engine (ini/profile.h), with its
// rules: names compare without regard to case, a value in quotes is
// unquoted, a UTF-8 byte-order mark is read past and kept, saving replaces
// the keys in place and keeps every other line of the file.
#pragma once

#include <QString>

#include <array>
#include <optional>

namespace cat {

constexpr int kRigCount = 2;
constexpr int kMinPollMs = 10;
constexpr int kMaxPollMs = 60000;
constexpr int kDefaultPollMs = 100;
constexpr int kNetRigctlModel = 2;
constexpr int kDefaultNotHeardS = 30;
constexpr int kMinNotHeardS = 2;
constexpr int kMaxNotHeardS = 3600;

enum class RigSource { Hamlib, RadioInfo, Wsjtx };

// Radio values: the rig's own number, and "the radio with transmit focus".
constexpr int kOwnRadio = 0;
constexpr int kFocusRadio = -1;

struct RigSettings {
    int model = kNetRigctlModel;
    QString port;
    int speed = 0;
    int pollMs = kDefaultPollMs;
    bool enabled = true;
    RigSource source = RigSource::Hamlib;
    int udpPort = 0;       // 0: the source's default
    int radio = kOwnRadio; // 1, 2, kOwnRadio or kFocusRadio
    QString multicast{};
    QString instance{};
    int notHeardS = kDefaultNotHeardS;

    bool operator==(const RigSettings&) const = default;
};

using OmniRigSettings = std::array<RigSettings, kRigCount>;

// Defaults of rig 1 or rig 2 when omnirig.ini says nothing.
RigSettings DefaultRigSettings(int rigNumber);
// The port a rig uses when its section has no Port key.
QString DefaultPort(int rigNumber, int model);

// The word of a source in omnirig.ini and on koravelctl's command line
// ("hamlib", "radioinfo", "wsjtx"), and back (case ignored).
const char* SourceWord(RigSource source);
std::optional<RigSource> SourceFromWord(const QString& word);
// The source's UDP port when omnirig.ini names none (0 for Hamlib).
int DefaultUdpPort(RigSource source);
// The UDP port the rig listens on: its UdpPort, else its source's default.
int UdpPortOf(const RigSettings& rig);
// The logger's radio rig rigNumber follows: 1, 2 or kFocusRadio.
int RadioOf(const RigSettings& rig, int rigNumber);

// Applies a source given on a command line, "radioinfo[:PORT]",
// "wsjtx[:PORT]" or "hamlib", to one rig's settings. A datagram source keeps
// the rig's other datagram settings when it already had that source, else
// takes the defaults (radio: the rig's number). False, with the reason in
// error, for anything else.
bool ApplySourceSpec(const QString& spec, RigSettings& rig, QString* error);

// Full path of omnirig.ini in the folder.
QString OmniRigIniPath(const QString& configDir);

// Reads omnirig.ini from the folder. False, with the reason in error, when the
// file exists but cannot be read, or a value is not valid.
bool LoadOmniRigIni(const QString& configDir, OmniRigSettings& settings, QString* error);

// Writes both sections (other content of the file is kept; Enabled as true
// or false). The file is replaced through a temporary file, so a failure
// leaves the old one whole; a file that cannot be read is not replaced. A
// missing folder is made first (mode 0700, parents included).
bool SaveOmniRigIni(const QString& configDir, const OmniRigSettings& settings, QString* error);

} // namespace cat
