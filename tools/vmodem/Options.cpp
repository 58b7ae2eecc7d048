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
Prints the slave path as the first line on stdout and a banner on stderr, then
runs in the foreground until SIGINT or SIGTERM (or the control command quit).

Options:
  --link PATH      also make PATH a symbolic link to the slave (removed on exit)
  --control PATH   listen for control commands on the Unix socket PATH
  --store DIR      keep what arrives in DIR (created if missing), see Store
  --speed BPS      speed reported in CONNECT (default 33600)
  --mode echo|sink data state behaviour at start (default echo)
  --stream FILE    data state: send FILE after each CONNECT, keep what arrives
  --set N=V        start-up value of register SN (also what ATZ/AT&F restore),
                   e.g. --set 12=5 for a 100 ms escape guard time
  --help, --version

Modem commands (case-insensitive, several per line, e.g. ATE0V1):
  E0/E1 echo   V0/V1 numeric/verbose results   Q0/Q1 results on/off
  Z, &F        restore the start-up profile     I0 name, I1 version, I3 description
  Sn=v, Sn?    registers 0-99, values 0-255: S0 rings to auto-answer, S1 ring
               count, S2 escape char, S3 CR, S4 LF, S5 backspace, S12 escape
               guard time in 1/50 s (0: no guard)
  H0/H1        on/off hook    A answer a ring    O back to the data state
  D<number>    dial; the LAST DIGIT of the number decides the outcome:
                 6 NO ANSWER, 7 BUSY, 8 NO CARRIER, 9 NO DIALTONE,
                 anything else (or no digit) connects: CONNECT <speed> in
                 class 0; OK (off hook, command state) in classes 1, 2 and 8
                 or when the dial string ends with ';'
  X, L, M, B, N, W, Y, P, T, &<letter>   accepted, no effect
  A/           repeat the last command line
  +FCLASS=0|1|2|2.0|8, +FCLASS?, +FCLASS=?
  +FTM=<mod>   (class 1) CONNECT, then receive a fax page up to DLE ETX
  +FDT         (class 2, 2.0) the same
  +VSM=<n>[,...]  voice format number 0-255 (default 1), decides unshielding
  +VTX         (class 8) CONNECT, then receive voice data up to DLE ETX
  +GMI/+GMM/+GMR (+FMI/+FMM/+FMR) identification
  +VLS +VIT +VGT +VGR +VTS +FTS +FRS +FLID +FDCC ... accepted, no effect
Results: verbose "<CR><LF>TEXT<CR><LF>", numeric "N<CR>": 0 OK, 1 CONNECT (any
speed), 2 RING, 3 NO CARRIER, 4 ERROR, 6 NO DIALTONE, 7 BUSY, 8 NO ANSWER.
Escape: S12 guard time of silence, three S2 characters, S12 of silence -> OK.
In command state a DLE and the byte after it are dropped without echo.

Transfers (after +VTX, +FTM or +FDT answered CONNECT) end at DLE ETX, then OK
and the command state, still off hook:
  voice format 7:        raw, a DLE stands alone
  voice formats 4 and 8: DLE DLE -> DLE
  other voice formats:   DLE DLE -> DLE; DLE + 12h/14h/18h/1Ch/70h/72h kept as
                         both bytes
  fax:                   DLE DLE -> DLE (faxdle double, default, for senders
                         that double every DLE) or raw (faxdle raw, for
                         senders that double nothing)
  Any other DLE pair is kept as both bytes and counted as stray.
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
  faxdle double|raw     fax data unshielding
  hangup                drop the connection or transfer: NO CARRIER
  flush                 drop what the DTE has not read yet
  stall | resume        stop / resume reading the port (the DTE's writes block)
  report                ok state=... rx=<bytes read> tx=<bytes written> ...
  rxhex                 ok <hex of the bytes read since the last rxclear>
  rxclear               forget those bytes (rx.bin keeps everything)
  reg <n>               ok <value of Sn>
  quit                  exit
Events: cmd AT..., result <TEXT>, dial <number>, connect <bps>, escape,
  hangup, fax file=<pbm> g3=<g3> rows= bad= rtc= bytes= dropped= stray=,
  fax-bad line=<n> <reason>, voice file=<raw> format= codes= bytes= dropped=
  stray=

Store (--store DIR): rx.bin every byte read from the port; events.log the
event lines; fax-NNN.pbm decoded page (P4, 1728 wide); fax-NNN.g3 the page
data after unshielding; voice-NNN.raw voice data after unshielding.
)";
}

} // namespace vmodem
