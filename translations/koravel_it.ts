<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="it_IT">
<context>
    <name>OpenFailure</name>
    <message>
        <source>write error</source>
        <translation>errore di scrittura</translation>
    </message>
    <message>
        <source>%1 does not open: the serial server at %2 says its port is in use by another program%3. Close that program, or choose another port.</source>
        <translation>%1 non si apre: il server seriale in %2 dice che la sua porta è usata da un altro programma%3. Chiudi quel programma, o scegli un&apos;altra porta.</translation>
    </message>
    <message>
        <source>%1 does not open: a network port is written tcp://HOST:PORT (the link %2).</source>
        <translation>%1 non si apre: una porta di rete si scrive tcp://HOST:PORTA (il collegamento %2).</translation>
    </message>
    <message>
        <source>%1 does not open: the serial server at %2 turned the connection away%3.</source>
        <translation>%1 non si apre: il server seriale in %2 ha rifiutato la connessione%3.</translation>
    </message>
    <message>
        <source>%1 does not open: cannot connect to %2: %3.</source>
        <translation>%1 non si apre: impossibile collegarsi a %2: %3.</translation>
    </message>
    <message>
        <source>connected</source>
        <translation>collegato</translation>
    </message>
    <message>
        <source>connection refused (nothing serves that port)</source>
        <translation>connessione rifiutata (nessuno serve quella porta)</translation>
    </message>
    <message>
        <source>connection timed out (no answer within 3 s)</source>
        <translation>connessione scaduta (nessuna risposta entro 3 s)</translation>
    </message>
    <message>
        <source>host unreachable</source>
        <translation>host irraggiungibile</translation>
    </message>
    <message>
        <source>network unreachable</source>
        <translation>rete irraggiungibile</translation>
    </message>
    <message>
        <source>the connection was closed at the far end</source>
        <translation>la connessione è stata chiusa dall&apos;altra parte</translation>
    </message>
    <message>
        <source>the connection was broken</source>
        <translation>la connessione si è interrotta</translation>
    </message>
    <message>
        <source>the serial server&apos;s port is in use by another program</source>
        <translation>la porta del server seriale è usata da un altro programma</translation>
    </message>
    <message>
        <source>the serial server turned the connection away</source>
        <translation>il server seriale ha rifiutato la connessione</translation>
    </message>
    <message>
        <source>host not found</source>
        <translation>host non trovato</translation>
    </message>
    <message>
        <source>host not found: the name server does not answer</source>
        <translation>host non trovato: il server dei nomi non risponde</translation>
    </message>
    <message>
        <source>COM%1 (%2%3): connection lost: %4; trying again every %5 s.</source>
        <translation>COM%1 (%2%3): connessione persa: %4; nuovo tentativo ogni %5 s.</translation>
    </message>
    <message>
        <source>No serial port is chosen (%1).</source>
        <translation>Nessuna porta seriale scelta (%1).</translation>
    </message>
    <message>
        <source>%1 does not open: permission denied.</source>
        <translation>%1 non si apre: permesso negato.</translation>
    </message>
    <message>
        <source>%1 does not open: permission denied. The device belongs to the group &apos;%2&apos;: add your user to the group &apos;%2&apos; (sudo usermod -aG %2 $USER) and log in again.</source>
        <translation>%1 non si apre: permesso negato. Il dispositivo appartiene al gruppo &apos;%2&apos;: aggiungi il tuo utente al gruppo &apos;%2&apos; (sudo usermod -aG %2 $USER) e rientra nella sessione.</translation>
    </message>
    <message>
        <source>%1 does not open: permission denied. Only its owner &apos;%2&apos; may use it (mode %3); ask the computer&apos;s administrator.</source>
        <translation>%1 non si apre: permesso negato. Solo il proprietario &apos;%2&apos; può usarlo (modo %3); chiedi all&apos;amministratore del computer.</translation>
    </message>
    <message>
        <source>%1 does not open: it is in use by another program. Close that program, or choose another port.</source>
        <translation>%1 non si apre: è usata da un altro programma. Chiudi quel programma, o scegli un&apos;altra porta.</translation>
    </message>
    <message>
        <source>%1 does not open: its device %2 is not plugged in (the link %3 expects it).</source>
        <translation>%1 non si apre: il suo dispositivo %2 non è collegato (il collegamento %3 lo attende).</translation>
    </message>
    <message>
        <source>%1 does not open: there is no such device; it is not plugged in, or this computer has no such port.</source>
        <translation>%1 non si apre: il dispositivo non esiste; non è collegato, o questo computer non ha tale porta.</translation>
    </message>
    <message>
        <source>%1 does not open: there is no serial port behind this device.</source>
        <translation>%1 non si apre: dietro questo dispositivo non c&apos;è una porta seriale.</translation>
    </message>
    <message>
        <source>%1 does not open: it is not a serial device.</source>
        <translation>%1 non si apre: non è un dispositivo seriale.</translation>
    </message>
    <message>
        <source>%1 does not open: %2.</source>
        <translation>%1 non si apre: %2.</translation>
    </message>
</context>
<context>
    <name>SetupConcerns</name>
    <message>
        <source>%1 in [%2]</source>
        <translation>%1 in [%2]</translation>
    </message>
    <message>
        <source>firmware %1 or later</source>
        <translation>firmware %1 o successivo</translation>
    </message>
    <message>
        <source>firmware below %1</source>
        <translation>firmware precedente al %1</translation>
    </message>
    <message>
        <source>The file was made for units with %1; the unit has firmware %2.</source>
        <translation>Il file è stato fatto per unità con %1; l&apos;unità ha il firmware %2.</translation>
    </message>
    <message>
        <source>Ignored (only units with %1 read them): %2.</source>
        <translation>Ignorati (li leggono solo le unità con %1): %2.</translation>
    </message>
    <message>
        <source>Sent as 0 (not in the file; texts as 0x00 bytes): %1.</source>
        <translation>Inviati come 0 (non presenti nel file; i testi come byte 0x00): %1.</translation>
    </message>
    <message>
        <source>[%1] is given again at line %2: only the section at line %3 is read.</source>
        <translation>[%1] compare di nuovo alla riga %2: viene letta solo la sezione alla riga %3.</translation>
    </message>
</context>
<context>
    <name>TfmMain</name>
    <message>
        <source>Retract the elements? The antenna is unusable until it is tuned again.</source>
        <translation>Ritrarre gli elementi? L&apos;antenna resta inutilizzabile finché non viene sintonizzata di nuovo.</translation>
    </message>
    <message>
        <source>Elements</source>
        <translation>Elements</translation>
    </message>
    <message>
        <source>Retracted</source>
        <translation>Retracted</translation>
    </message>
    <message>
        <source>Save setup data...</source>
        <translation>Save setup data...</translation>
    </message>
    <message>
        <source>Koravel setup data (*.koravel)</source>
        <translation>Koravel setup data (*.koravel)</translation>
    </message>
    <message>
        <source>Com &amp;Port</source>
        <translation>Com &amp;Port</translation>
    </message>
    <message>
        <source>&amp;Cat</source>
        <translation>&amp;Cat</translation>
    </message>
    <message>
        <source>Radio &amp;1</source>
        <translation>Radio &amp;1</translation>
    </message>
    <message>
        <source>Radio &amp;2</source>
        <translation>Radio &amp;2</translation>
    </message>
    <message>
        <source>&amp;No Radio</source>
        <translation>&amp;No Radio</translation>
    </message>
    <message>
        <source>Config &amp;Radio</source>
        <translation>Config &amp;Radio</translation>
    </message>
    <message>
        <source>Serial port:</source>
        <translation>Porta seriale:</translation>
    </message>
    <message>
        <source>Status: not connected</source>
        <translation>Stato: non connesso</translation>
    </message>
    <message>
        <source>Setup...</source>
        <translation>Setup...</translation>
    </message>
    <message>
        <source>Retract axes</source>
        <translation>Retract axes</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>&amp;Uscita</translation>
    </message>
    <message>
        <source>00.000 MHz</source>
        <translation>00.000 MHz</translation>
    </message>
    <message>
        <source>MOVING ELEMENTS...</source>
        <translation>MOVING ELEMENTS...</translation>
    </message>
    <message>
        <source>Heading: normal -&gt;</source>
        <translation>Heading: normal -&gt;</translation>
    </message>
    <message>
        <source>(default)</source>
        <translation>(default)</translation>
    </message>
    <message>
        <source>Radio 1</source>
        <translation>Radio 1</translation>
    </message>
    <message>
        <source>Radio 2</source>
        <translation>Radio 2</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>A&amp;iuto</translation>
    </message>
    <message>
        <source>&amp;About Koravel...</source>
        <translation>&amp;Informazioni su Koravel...</translation>
    </message>
    <message>
        <source>&lt;p&gt;&lt;b&gt;Koravel %1&lt;/b&gt;&lt;/p&gt;&lt;p&gt;The remote control of the KV-100 antenna control unit.&lt;/p&gt;&lt;p&gt;Free software under the GNU General Public License, version 3 or later; it comes with no warranty.&lt;/p&gt;&lt;p&gt;Manual pages: &lt;tt&gt;man koravel&lt;/tt&gt; (the window and its keys), &lt;tt&gt;man koravel-setup&lt;/tt&gt; (set-up files), &lt;tt&gt;man koravelctl&lt;/tt&gt;, &lt;tt&gt;man kv100-sim&lt;/tt&gt;.&lt;/p&gt;</source>
        <translation>&lt;p&gt;&lt;b&gt;Koravel %1&lt;/b&gt;&lt;/p&gt;&lt;p&gt;Il controllo remoto della centralina d&apos;antenna KV-100.&lt;/p&gt;&lt;p&gt;Software libero sotto la GNU General Public License, versione 3 o successiva; senza alcuna garanzia.&lt;/p&gt;&lt;p&gt;Pagine del manuale: &lt;tt&gt;man koravel&lt;/tt&gt; (la finestra e i suoi tasti), &lt;tt&gt;man koravel-setup&lt;/tt&gt; (file di impostazione), &lt;tt&gt;man koravelctl&lt;/tt&gt;, &lt;tt&gt;man kv100-sim&lt;/tt&gt;.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>About Koravel</source>
        <translation>Informazioni su Koravel</translation>
    </message>
    <message>
        <source>Beam normal</source>
        <translation>Fascio normale</translation>
    </message>
    <message>
        <source>Beam reversed 180°</source>
        <translation>Fascio invertito 180°</translation>
    </message>
    <message>
        <source>Beam bidirectional</source>
        <translation>Fascio bidirezionale</translation>
    </message>
    <message>
        <source>Retract elements</source>
        <translation>Ritrai gli elementi</translation>
    </message>
    <message>
        <source>Down 25 kHz</source>
        <translation>Giù 25 kHz</translation>
    </message>
    <message>
        <source>Up 25 kHz</source>
        <translation>Su 25 kHz</translation>
    </message>
    <message>
        <source>Band %1 m</source>
        <translation>Banda %1 m</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Esci</translation>
    </message>
    <message>
        <source>ELEMENTS RETRACTED</source>
        <translation>ELEMENTS RETRACTED</translation>
    </message>
    <message numerus="yes">
        <source>No reply from the unit for %n s</source>
        <translation>
            <numerusform>Nessuna risposta dalla centralina da %n s</numerusform>
            <numerusform>Nessuna risposta dalla centralina da %n s</numerusform>
        </translation>
    </message>
    <message>
        <source>--.--- MHz</source>
        <translation>--.--- MHz</translation>
    </message>
    <message>
        <source>%1%2%3 MHz</source>
        <translation>%1%2%3 MHz</translation>
    </message>
    <message>
        <source>Status: connecting...</source>
        <translation>Stato: in connessione...</translation>
    </message>
    <message>
        <source>Connected to Koravel v%1.%2</source>
        <translation>Connesso con Koravel v%1.%2</translation>
    </message>
    <message>
        <source>Nothing was sent: the file was not confirmed.</source>
        <translation>Non è stato inviato nulla: il file non è stato confermato.</translation>
    </message>
    <message>
        <source>Status: not connected (port closed).</source>
        <translation>Stato: non connesso (porta chiusa).</translation>
    </message>
    <message>
        <source>not configured</source>
        <translation>non configurata</translation>
    </message>
    <message>
        <source>disabled</source>
        <translation>disattivata</translation>
    </message>
    <message>
        <source>(Hamlib&apos;s default)</source>
        <translation>(predefinita di Hamlib)</translation>
    </message>
    <message>
        <source>port %1 not available: rigctld should listen there</source>
        <translation>porta %1 non disponibile: rigctld dovrebbe essere in ascolto lì</translation>
    </message>
    <message>
        <source>port %1 not available</source>
        <translation>porta %1 non disponibile</translation>
    </message>
    <message>
        <source>not responding</source>
        <translation>non risponde</translation>
    </message>
    <message>
        <source>on line</source>
        <translation>in linea</translation>
    </message>
    <message>
        <source>status %1</source>
        <translation>stato %1</translation>
    </message>
    <message>
        <source>Rig %1: </source>
        <translation>Radio %1: </translation>
    </message>
    <message>
        <source>CAT back end not connected</source>
        <translation>CAT non collegato</translation>
    </message>
    <message>
        <source>Error connecting to OmniRig - Check installation</source>
        <translation>Error connecting to OmniRig - Check installation</translation>
    </message>
    <message>
        <source>Rig %1 at %2 MHz is beyond the antenna&apos;s range: not sent</source>
        <translation>Radio %1 a %2 MHz è oltre la portata dell&apos;antenna: non inviata</translation>
    </message>
    <message>
        <source>block %1 (%2)</source>
        <translation>blocco %1 (%2)</translation>
    </message>
    <message>
        <source>not sent: %1</source>
        <translation>non inviato: %1</translation>
    </message>
    <message>
        <source>failed: no reply</source>
        <translation>fallito: nessuna risposta</translation>
    </message>
    <message>
        <source>failed: the unit answered status %1</source>
        <translation>fallito: la centralina ha risposto con lo stato %1</translation>
    </message>
    <message>
        <source>skipped (no values in the file)</source>
        <translation>saltato (nessun valore nel file)</translation>
    </message>
    <message>
        <source>written</source>
        <translation>scritto</translation>
    </message>
    <message>
        <source>%v of %m</source>
        <translation>%v di %m</translation>
    </message>
    <message>
        <source>Send the file anyway?</source>
        <translation>Inviare comunque il file?</translation>
    </message>
    <message>
        <source>Data transfer completed successfully.</source>
        <translation>Trasmissione dati eseguita correttamente.</translation>
    </message>
    <message>
        <source>Data transfer not performed.</source>
        <translation>Trasmissione dati non eseguita.</translation>
    </message>
    <message numerus="yes">
        <source>%n block(s) written</source>
        <translation>
            <numerusform>%n blocco scritto</numerusform>
            <numerusform>%n blocchi scritti</numerusform>
        </translation>
    </message>
    <message>
        <source>a block</source>
        <translation>un blocco</translation>
    </message>
    <message>
        <source>Error sending data. Please try again</source>
        <translation>Errore in invio dati. Prego riprovare</translation>
    </message>
    <message>
        <source>The unit did not report its firmware version; nothing was sent.</source>
        <translation>La centralina non ha comunicato la versione del firmware; non è stato inviato nulla.</translation>
    </message>
    <message>
        <source>Trying COM%1 again every 2 s.</source>
        <translation>Nuovo tentativo su COM%1 ogni 2 s.</translation>
    </message>
    <message>
        <source>COM%1 has gone away (unplugged?): trying again every 2 s.</source>
        <translation>COM%1 è sparita (scollegata?): nuovo tentativo ogni 2 s.</translation>
    </message>
    <message>
        <source>TRANSMITTING WHILE THE ELEMENTS MOVE</source>
        <translation>IN TRASMISSIONE MENTRE GLI ELEMENTI SI MUOVONO</translation>
    </message>
    <message>
        <source>Serial devices...</source>
        <translation>Dispositivi seriali...</translation>
    </message>
    <message>
        <source>Settings not read, defaults used: %1</source>
        <translation>Impostazioni non lette, usati i valori predefiniti: %1</translation>
    </message>
    <message>
        <source>Settings will not be saved: %1</source>
        <translation>Le impostazioni non verranno salvate: %1</translation>
    </message>
    <message>
        <source>No serial port is open.</source>
        <translation>Nessuna porta seriale è aperta.</translation>
    </message>
    <message>
        <source>Nothing was sent.</source>
        <translation>Non è stato inviato nulla.</translation>
    </message>
    <message>
        <source>The file is not fit to be sent as it stands; nothing was sent.</source>
        <translation>Il file così com&apos;è non è adatto all&apos;invio; non è stato inviato nulla.</translation>
    </message>
    <message>
        <source>%1 may not have been written: no reply from the unit.</source>
        <translation>%1 potrebbe non essere stato scritto: nessuna risposta dalla centralina.</translation>
    </message>
    <message>
        <source>%1 was not written: the unit answered status %2.</source>
        <translation>%1 non è stato scritto: la centralina ha risposto con lo stato %2.</translation>
    </message>
    <message numerus="yes">
        <source>The unit holds %n block(s) of the new set-up and its old values beyond. Sending the file again completes it.</source>
        <translation>
            <numerusform>La centralina contiene %n blocco della nuova impostazione e oltre i valori vecchi. Inviare di nuovo il file la completa.</numerusform>
            <numerusform>La centralina contiene %n blocchi della nuova impostazione e oltre i valori vecchi. Inviare di nuovo il file la completa.</numerusform>
        </translation>
    </message>
    <message>
        <source>The file &quot;%1&quot; holds no set-up data.</source>
        <translation>Il file &quot;%1&quot; non contiene dati di impostazione.</translation>
    </message>
    <message>
        <source>The file &quot;%1&quot; cannot be read: %2.</source>
        <translation>Il file &quot;%1&quot; non può essere letto: %2.</translation>
    </message>
    <message>
        <source>not heard for %1 s</source>
        <translation>non sentita da %1 s</translation>
    </message>
    <message>
        <source>not heard yet on UDP port %1</source>
        <translation>non ancora sentita sulla porta UDP %1</translation>
    </message>
    <message numerus="yes">
        <source>%1 on UDP port %2: %n datagram(s)</source>
        <translation>
            <numerusform>%1 sulla porta UDP %2: %n datagramma</numerusform>
            <numerusform>%1 sulla porta UDP %2: %n datagrammi</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>, %n malformed and dropped (last: %1)</source>
        <translation>
            <numerusform>, %n malformato e scartato (ultimo: %1)</numerusform>
            <numerusform>, %n malformati e scartati (ultimo: %1)</numerusform>
        </translation>
    </message>
    <message>
        <source>%1: the file is read-only</source>
        <translation>%1: il file è di sola lettura</translation>
    </message>
</context>
<context>
    <name>koravel::NetworkPortDialog</name>
    <message>
        <source>Network port</source>
        <translation>Porta di rete</translation>
    </message>
    <message>
        <source>shack-pi, 192.168.1.20 or [fe80::1]</source>
        <translation>shack-pi, 192.168.1.20 o [fe80::1]</translation>
    </message>
    <message>
        <source>Host:</source>
        <translation>Host:</translation>
    </message>
    <message>
        <source>TCP port:</source>
        <translation>Porta TCP:</translation>
    </message>
    <message>
        <source>COM%1 is a port of a serial server (ser2net) on the network, reached by raw TCP; the server sets the line.</source>
        <translation>COM%1 è una porta di un server seriale (ser2net) in rete, raggiunta via TCP grezzo; il server imposta la linea.</translation>
    </message>
</context>
<context>
    <name>koravel::RigSettingsDialog</name>
    <message>
        <source>Rig settings</source>
        <translation>Impostazioni delle radio</translation>
    </message>
    <message>
        <source>Rig %1</source>
        <translation>Radio %1</translation>
    </message>
    <message>
        <source>Status:</source>
        <translation>Stato:</translation>
    </message>
    <message>
        <source>Enabled</source>
        <translation>Attiva</translation>
    </message>
    <message>
        <source>maker or model</source>
        <translation>marca o modello</translation>
    </message>
    <message>
        <source>Find:</source>
        <translation>Cerca:</translation>
    </message>
    <message>
        <source>Model:</source>
        <translation>Modello:</translation>
    </message>
    <message>
        <source>Selected:</source>
        <translation>Scelto:</translation>
    </message>
    <message>
        <source>Port:</source>
        <translation>Porta:</translation>
    </message>
    <message>
        <source>Speed:</source>
        <translation>Velocità:</translation>
    </message>
    <message>
        <source>Poll every:</source>
        <translation>Interroga ogni:</translation>
    </message>
    <message>
        <source>Not configured (0)</source>
        <translation>Non configurata (0)</translation>
    </message>
    <message>
        <source>Unknown model (%1)</source>
        <translation>Modello sconosciuto (%1)</translation>
    </message>
    <message>
        <source>Rig %1: speed &quot;%2&quot; is not a number of baud</source>
        <translation>Radio %1: la velocità &quot;%2&quot; non è un numero di baud</translation>
    </message>
    <message>
        <source>The CAT back end is gone</source>
        <translation>Il CAT non c&apos;è più</translation>
    </message>
    <message>
        <source>Hamlib (the rig&apos;s CAT port)</source>
        <translation>Hamlib (la porta CAT della radio)</translation>
    </message>
    <message>
        <source>Logger radio broadcasts (RadioInfo)</source>
        <translation>Trasmissioni radio del logger (RadioInfo)</translation>
    </message>
    <message>
        <source>WSJT-X status</source>
        <translation>Stato di WSJT-X</translation>
    </message>
    <message>
        <source>Source:</source>
        <translation>Sorgente:</translation>
    </message>
    <message>
        <source>/dev/ttyUSB0 or host:port</source>
        <translation>/dev/ttyUSB0 o host:porta</translation>
    </message>
    <message>
        <source>UDP port:</source>
        <translation>Porta UDP:</translation>
    </message>
    <message>
        <source>Radio 1</source>
        <translation>Radio 1</translation>
    </message>
    <message>
        <source>Radio 2</source>
        <translation>Radio 2</translation>
    </message>
    <message>
        <source>The radio with transmit focus</source>
        <translation>La radio con il fuoco di trasmissione</translation>
    </message>
    <message>
        <source>Logger radio:</source>
        <translation>Radio del logger:</translation>
    </message>
    <message>
        <source>none, or a group such as 239.255.0.1</source>
        <translation>nessuno, o un gruppo come 239.255.0.1</translation>
    </message>
    <message>
        <source>Multicast group:</source>
        <translation>Gruppo multicast:</translation>
    </message>
    <message>
        <source>any instance</source>
        <translation>qualsiasi istanza</translation>
    </message>
    <message>
        <source>WSJT-X instance:</source>
        <translation>Istanza di WSJT-X:</translation>
    </message>
    <message>
        <source>Not heard after:</source>
        <translation>Non sentita dopo:</translation>
    </message>
    <message>
        <source>Rig %1: &quot;%2&quot; is not a multicast group (224.0.0.0 to 239.255.255.255)</source>
        <translation>Radio %1: &quot;%2&quot; non è un gruppo multicast (da 224.0.0.0 a 239.255.255.255)</translation>
    </message>
</context>
<context>
    <name>koravel::SerialDevicesDialog</name>
    <message>
        <source>Serial devices</source>
        <translation>Dispositivi seriali</translation>
    </message>
    <message>
        <source>COM</source>
        <translation>COM</translation>
    </message>
    <message>
        <source>Device</source>
        <translation>Dispositivo</translation>
    </message>
    <message>
        <source>What it is</source>
        <translation>Che cos&apos;è</translation>
    </message>
    <message>
        <source>Stable name</source>
        <translation>Nome stabile</translation>
    </message>
    <message>
        <source>Network port...</source>
        <translation>Porta di rete...</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Chiudi</translation>
    </message>
    <message>
        <source>Number:</source>
        <translation>Numero:</translation>
    </message>
    <message>
        <source>not a symbolic link</source>
        <translation>non è un collegamento simbolico</translation>
    </message>
    <message>
        <source>network port (ser2net, raw TCP)</source>
        <translation>porta di rete (ser2net, TCP grezzo)</translation>
    </message>
    <message>
        <source>not a network address (tcp://HOST:PORT)</source>
        <translation>non è un indirizzo di rete (tcp://HOST:PORTA)</translation>
    </message>
    <message>
        <source>not plugged in</source>
        <translation>non collegato</translation>
    </message>
    <message>
        <source>COM numbers are links in %1</source>
        <translation>I numeri COM sono collegamenti in %1</translation>
    </message>
    <message>
        <source>Give it COM%1</source>
        <translation>Assegna COM%1</translation>
    </message>
    <message>
        <source>Take COM%1 back</source>
        <translation>Libera COM%1</translation>
    </message>
    <message>
        <source>COM%1 is not changed: %2</source>
        <translation>COM%1 non è cambiata: %2</translation>
    </message>
    <message>
        <source>COM%1 now stands for %2.</source>
        <translation>COM%1 ora indica %2.</translation>
    </message>
    <message>
        <source>Choose a device in the list first.</source>
        <translation>Scegli prima un dispositivo nell&apos;elenco.</translation>
    </message>
    <message>
        <source>COM%1 has no link now.</source>
        <translation>COM%1 ora non ha collegamento.</translation>
    </message>
</context>
</TS>
