// Command line parsing and the help text, which is also the reference for
// the control commands, the dialling rule and the store files.
#include "Options.h"

#include <stdexcept>

namespace vmodem {

namespace {

int ParseNumber(const std::string &text, int lo, int hi, const std::string &what) {
    size_t used = 0;
    int v = 0;
    try {
        v = std::stoi(text, &used);
    } catch (const std::exception &) {
        used = 0;
    }
    if (used != text.size() || text.empty() || v < lo || v > hi)
        throw std::invalid_argument("bad " + what + ": " + text);
    return v;
}

} // namespace

SOptions ParseOptions(int argc, char **argv) {
    SOptions o;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                throw std::invalid_argument(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "-h" || arg == "--help") {
            o.help = true;
        } else if (arg == "--version") {
            o.version = true;
        } else if (arg == "--link") {
            o.link = value();
        } else if (arg == "--control") {
            o.control = value();
        } else if (arg == "--store") {
            o.store = value();
        } else if (arg == "--speed") {
            o.speed = ParseNumber(value(), 1, 100000000, "speed");
        } else if (arg == "--clock-scale") {
            o.clockScale = ParseNumber(value(), 1, 1000, "clock scale");
        } else if (arg == "--mode") {
            std::string m = value();
            if (m == "echo")
                o.mode = EDataMode::Echo;
            else if (m == "sink")
                o.mode = EDataMode::Sink;
            else
                throw std::invalid_argument("bad mode: " + m + " (echo or sink)");
        } else if (arg == "--stream") {
            o.stream = value();
            o.mode = EDataMode::Stream;
        } else if (arg == "--set") {
            std::string v = value();
            size_t eq = v.find('=');
            if (eq == std::string::npos)
                throw std::invalid_argument("--set needs N=V: " + v);
            int reg = ParseNumber(v.substr(0, eq), 0, kRegisterCount - 1, "register");
            o.profile[size_t(reg)] = ParseNumber(v.substr(eq + 1), 0, 255, "register value");
        } else {
            throw std::invalid_argument("unknown option: " + arg);
        }
    }
    return o;
}

const char *HelpText() {
    return R"(Usage: vmodem [options]
A virtual Hayes data/fax/voice modem on a pseudo-terminal, for tests and demos.
It is as strict as a real modem: calls take time, transfers need a call,
data drains at the line rate and the DTE is held with XON/XOFF.
Prints the slave path as the first line on stdout and a banner on stderr, then
runs in the foreground until SIGINT or SIGTERM (or the control command quit).

Options:
  --link PATH      also make PATH a symbolic link to the slave (removed on exit)
  --control PATH   listen for control commands on the Unix socket PATH
  --store DIR      keep what arrives in DIR (created if missing), see Store
  --speed BPS      speed reported in CONNECT (default 33600)
  --clock-scale N  every wait (dialling, answering, the line draining) N times
                   shorter, 1-1000 (default 1); the rules stay as they are
  --mode echo|sink data state behaviour at start (default echo)
  --stream FILE    data state: send FILE after each CONNECT, keep what arrives
  --set N=V        start-up value of register SN (also what ATZ/AT&F restore),
                   e.g. --set 12=5 for a 100 ms escape guard time
  --help, --version

Command lines: "AT" or "at", then commands (any case, several per line, e.g.
ATE0V1), ended by S3 only. Seven bits of each character count; spaces outside
quoted strings are ignored; a line of more than 56 characters (spaces not
counted) gives ERROR. Characters that arrive with a command line, after its
end and before its result, are ignored.
  E0/E1 echo   V0/V1 numeric/verbose results   Q0/Q1 results on/off
  Z, &F        on hook, restore the start-up profile
  I0 name, I1 version, I3 description
  Sn=v, Sn?    registers 0-99, values 0-255 (S3, S4, S5: 0-127): S0 rings to
               auto-answer, S1 ring count, S2 escape char, S3 CR, S4 LF,
               S5 backspace, S12 escape guard time in 1/50 s (0: no guard)
  H0/H1        on/off hook    A answer a ring    O back to the data state
  D<number>    dial; the LAST DIGIT of the number decides the outcome:
                 6 NO ANSWER, 7 BUSY, 8 NO CARRIER, 9 NO DIALTONE, at once;
                 anything else (or no digit) answers after 2 s (ATA: 1 s):
                 class 0 CONNECT <speed> and the data state; class 1 CONNECT,
                 the far machine's DIS frame (DLE-shielded, DLE ETX) and OK
                 (ATA: CONNECT, then the DTE's frames up to DLE ETX, OK);
                 class 2 +FCON, +FDIS:<far machine>, OK (2.0: +FCO, +FIS:);
                 class 8 VCON. Any character meanwhile (but the LF right
                 after the CR) aborts the call: NO CARRIER.
                 A dial string ending with ';' gives OK, off hook.
  X, L, M, B, N, W, Y, P, T, &<letter>   accepted, no effect
  A/           repeat the last command line
  +FCLASS=0|1|2|2.0|8, +FCLASS?, +FCLASS=?
  +FTM=<mod>   (class 1, in a call) CONNECT, then a fax page up to DLE ETX
  +FTH=3       (class 1, in a call) CONNECT, then frames up to DLE ETX
  +FDCC +FDIS +FLID (class 2) / +FCC +FIS +FLI (2.0)  vr,br,wd,ln,df,ec,bf,st
  +FDT         (class 2/2.0, in a call) +FDCS:<agreed> (2.0: +FCS:), CONNECT,
               XON, then a page up to DLE ETX (2.0 also DLE , ; . with the
               post-page message: +FPS:1, after "." +FHS:0, then OK)
  +FET=0|1|2   +FPTS:1 (2.0: +FPS:1); after 2 also +FHNG:0 and on hook
  +FK (+FKS)   end the session
  +VSM=<n>[,<rate>]  voice format number 0-255 and sample rate (default 8000)
  +VLS=<n>     (class 8) select the line (0: on hook)
  +VTX         (class 8, line selected) CONNECT, then voice data to DLE ETX
  +GMI/+GMM/+GMR (+FMI/+FMM/+FMR, +FMFR/+FMDL/+FREV) identification
  +VIT +VGT +VGR +VTS +FTS +FRS +FCR +FBOR ... accepted, no effect
Results: verbose "<CR><LF>TEXT<CR><LF>", numeric "N<CR>": 0 OK, 1 CONNECT (any
speed), 2 RING, 3 NO CARRIER, 4 ERROR, 6 NO DIALTONE, 7 BUSY, 8 NO ANSWER.
Escape: S12 guard time of silence, three S2 characters, S12 of silence -> OK.
In command state a DLE and the byte after it are dropped without echo.

Transfers: DLE DLE is one data DLE and DLE ETX ends the data; in fax any
other pair is deleted and counted as stray; in voice DLE CAN clears the
buffer, DLE DC4 or DLE ! stop at once (buffer discarded), DLE p pauses,
DLE r resumes, DLE u / DLE d step the volume, each counted as a command, and
other pairs are deleted as stray. The data waits in a 1024-byte buffer that
drains at the line rate (class 1 the modulation's, class 2 the agreed one,
voice one byte a sample): XOFF at 768 bytes, XON at 256; what arrives while
the buffer is full is lost (overrun). OK comes once the buffer is empty;
characters that arrive before it are ignored. A class 1 page whose data runs
dry before DLE ETX ends there (underrun): OK, or ERROR after 5 s of NUL fill.
A fax page is decoded as Modified Huffman (bits LSB first, EOL, 1728 pels,
fill, RTC); lines that do not decode are reported and left out.

Control commands (one per line on the --control socket; reply "ok [...]" or
"err <why>"; events arrive as "event <what>" lines on every connection):
  help                  list the commands
  inject <hex>          send bytes to the DTE (spaces allowed: 10 62)
  send <text>           send text with \r \n \t \\ \xHH escapes
  dle <chars>           send DLE + each char: "dle b" busy, "dle 5#" DTMF,
                        "dle s" silence, "dle q" quiet
  ring [n]              n RING results (default 1), auto-answer per S0;
                        refused unless on hook in command state (ATH first)
  play <file>           send a file's bytes now
  mode echo|sink        data state: echo what arrives, or only keep it
  mode stream <file>    data state: send the file after each CONNECT
  speed <bps>           speed for later CONNECTs
  hangup                drop the connection or transfer: NO CARRIER
  flush                 drop what the DTE has not read yet
  stall | resume        stop / resume reading the port (the DTE's writes block)
  report                ok state=... call=... rx=<bytes read> tx=<bytes
                        written> stray= overrun= commands= volume= ...
  rxhex                 ok <hex of the bytes read since the last rxclear>
  rxclear               forget those bytes (rx.bin keeps everything)
  reg <n>               ok <value of Sn>
  quit                  exit
Events: cmd AT..., result <TEXT>, info <TEXT>, dial <number>, connect <bps>,
  connect fax, connect voice, aborted, escape, hangup,
  fax file=<pbm> g3=<g3> rows= bad= rtc= [vr=fine|normal] bytes= dropped=
  stray= overrun= holds= ignored= [underrun|stop], fax-bad line=<n> <reason>,
  frames bytes=..., voice file=<raw> format= commands= bytes= dropped= stray=
  overrun= holds=<XOFFs sent> ignored= [stop]

Store (--store DIR): rx.bin every byte read from the port; events.log the
event lines; fax-NNN.pbm decoded page (P4, 1728 wide); fax-NNN.g3 the page
data as sent on the line; voice-NNN.raw the voice data as played.
)";
}

} // namespace vmodem
