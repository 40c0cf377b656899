<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>OpenFailure</name>
    <message>
        <source>write error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 does not open: the serial server at %2 says its port is in use by another program%3. Close that program, or choose another port.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 does not open: a network port is written tcp://HOST:PORT (the link %2).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 does not open: the serial server at %2 turned the connection away%3.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 does not open: cannot connect to %2: %3.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>connected</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>connection refused (nothing serves that port)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>connection timed out (no answer within 3 s)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>host unreachable</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>network unreachable</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the connection was closed at the far end</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the connection was broken</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the serial server&apos;s port is in use by another program</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the serial server turned the connection away</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>host not found</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>host not found: the name server does not answer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>COM%1 (%2%3): connection lost: %4; trying again every %5 s.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No serial port is chosen (%1).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 does not open: permission denied.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 does not open: permission denied. The device belongs to the group &apos;%2&apos;: add your user to the group &apos;%2&apos; (sudo usermod -aG %2 $USER) and log in again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 does not open: permission denied. Only its owner &apos;%2&apos; may use it (mode %3); ask the computer&apos;s administrator.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 does not open: it is in use by another program. Close that program, or choose another port.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 does not open: its device %2 is not plugged in (the link %3 expects it).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 does not open: there is no such device; it is not plugged in, or this computer has no such port.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 does not open: there is no serial port behind this device.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 does not open: it is not a serial device.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 does not open: %2.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SetupConcerns</name>
    <message>
        <source>%1 in [%2]</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>firmware %1 or later</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>firmware below %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file was made for units with %1; the unit has firmware %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ignored (only units with %1 read them): %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sent as 0 (not in the file; texts as 0x00 bytes): %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>[%1] is given again at line %2: only the section at line %3 is read.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TfmMain</name>
    <message>
        <source>Retract the elements? The antenna is unusable until it is tuned again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Elements</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Retracted</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save setup data...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Koravel setup data (*.koravel)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Com &amp;Port</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Cat</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Radio &amp;1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Radio &amp;2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;No Radio</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Config &amp;Radio</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Serial port:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Status: not connected</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Setup...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Retract axes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>00.000 MHz</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>MOVING ELEMENTS...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Heading: normal -&gt;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>(default)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Radio 1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Radio 2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;About Koravel...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&lt;p&gt;&lt;b&gt;Koravel %1&lt;/b&gt;&lt;/p&gt;&lt;p&gt;The remote control of the KV-100 antenna control unit.&lt;/p&gt;&lt;p&gt;Free software under the GNU General Public License, version 3 or later; it comes with no warranty.&lt;/p&gt;&lt;p&gt;Manual pages: &lt;tt&gt;man koravel&lt;/tt&gt; (the window and its keys), &lt;tt&gt;man koravel-setup&lt;/tt&gt; (set-up files), &lt;tt&gt;man koravelctl&lt;/tt&gt;, &lt;tt&gt;man kv100-sim&lt;/tt&gt;.&lt;/p&gt;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>About Koravel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Beam normal</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Beam reversed 180°</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Beam bidirectional</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Retract elements</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Down 25 kHz</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Up 25 kHz</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Band %1 m</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ELEMENTS RETRACTED</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>No reply from the unit for %n s</source>
        <translation>
            <numerusform>No reply from the unit for %n s</numerusform>
            <numerusform>No reply from the unit for %n s</numerusform>
        </translation>
    </message>
    <message>
        <source>--.--- MHz</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1%2%3 MHz</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Status: connecting...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connected to Koravel v%1.%2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Nothing was sent: the file was not confirmed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Status: not connected (port closed).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>not configured</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>disabled</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>(Hamlib&apos;s default)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>port %1 not available: rigctld should listen there</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>port %1 not available</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>not responding</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>on line</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>status %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Rig %1: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>CAT back end not connected</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Error connecting to OmniRig - Check installation</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Rig %1 at %2 MHz is beyond the antenna&apos;s range: not sent</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>block %1 (%2)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>not sent: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>failed: no reply</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>failed: the unit answered status %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>skipped (no values in the file)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>written</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%v of %m</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Send the file anyway?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Data transfer completed successfully.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Data transfer not performed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%n block(s) written</source>
        <translation>
            <numerusform>%n block written</numerusform>
            <numerusform>%n blocks written</numerusform>
        </translation>
    </message>
    <message>
        <source>a block</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Error sending data. Please try again</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The unit did not report its firmware version; nothing was sent.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Trying COM%1 again every 2 s.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>COM%1 has gone away (unplugged?): trying again every 2 s.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>TRANSMITTING WHILE THE ELEMENTS MOVE</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Serial devices...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Settings not read, defaults used: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Settings will not be saved: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No serial port is open.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Nothing was sent.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file is not fit to be sent as it stands; nothing was sent.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 may not have been written: no reply from the unit.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 was not written: the unit answered status %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>The unit holds %n block(s) of the new set-up and its old values beyond. Sending the file again completes it.</source>
        <translation>
            <numerusform>The unit holds %n block of the new set-up and its old values beyond. Sending the file again completes it.</numerusform>
            <numerusform>The unit holds %n blocks of the new set-up and its old values beyond. Sending the file again completes it.</numerusform>
        </translation>
    </message>
    <message>
        <source>The file &quot;%1&quot; holds no set-up data.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file &quot;%1&quot; cannot be read: %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>not heard for %1 s</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>not heard yet on UDP port %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%1 on UDP port %2: %n datagram(s)</source>
        <translation>
            <numerusform>%1 on UDP port %2: %n datagram</numerusform>
            <numerusform>%1 on UDP port %2: %n datagrams</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>, %n malformed and dropped (last: %1)</source>
        <translation>
            <numerusform>, %n malformed and dropped (last: %1)</numerusform>
            <numerusform>, %n malformed and dropped (last: %1)</numerusform>
        </translation>
    </message>
    <message>
        <source>%1: the file is read-only</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>koravel::NetworkPortDialog</name>
    <message>
        <source>Network port</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>shack-pi, 192.168.1.20 or [fe80::1]</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Host:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>TCP port:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>COM%1 is a port of a serial server (ser2net) on the network, reached by raw TCP; the server sets the line.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>koravel::RigSettingsDialog</name>
    <message>
        <source>Rig settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Rig %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Status:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Enabled</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>maker or model</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Find:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Model:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Selected:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Port:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Speed:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Poll every:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not configured (0)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unknown model (%1)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Rig %1: speed &quot;%2&quot; is not a number of baud</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The CAT back end is gone</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Hamlib (the rig&apos;s CAT port)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Logger radio broadcasts (RadioInfo)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>WSJT-X status</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Source:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>/dev/ttyUSB0 or host:port</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>UDP port:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Radio 1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Radio 2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The radio with transmit focus</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Logger radio:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>none, or a group such as 239.255.0.1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Multicast group:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>any instance</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>WSJT-X instance:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not heard after:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Rig %1: &quot;%2&quot; is not a multicast group (224.0.0.0 to 239.255.255.255)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>koravel::SerialDevicesDialog</name>
    <message>
        <source>Serial devices</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>COM</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Device</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>What it is</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stable name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Network port...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Number:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>not a symbolic link</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>network port (ser2net, raw TCP)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>not a network address (tcp://HOST:PORT)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>not plugged in</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>COM numbers are links in %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Give it COM%1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Take COM%1 back</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>COM%1 is not changed: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>COM%1 now stands for %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose a device in the list first.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>COM%1 has no link now.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
