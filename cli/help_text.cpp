#include "help_text.h"

#include "exit_codes.h"
#include "text_format.h"

namespace atlys::cli {

namespace {

const char kConnection[] =
    "Connection (every command):\n"
    "  --port NAME       serial port: COM1, COM2, ... (the n-th port the system\n"
    "                    lists, USB adapters first) or a device path such as\n"
    "                    /dev/ttyUSB0. Default: the name in ./config.dat, else COM1\n"
    "  --baud N          line speed in bits per second. Default: ./config.dat, else 115200\n"
    "  --log FILE        append every transfer (time, write/read, port, value) to FILE\n"
    "  --port-list FILE  take the system's port list from FILE (one device path a\n"
    "                    line, COM1 first) instead of /sys/class/tty\n";

const char kNumbers[] =
    "Numbers are read as the panel reads its fields: decimal, or hexadecimal with\n"
    "--hex; a 0x prefix is hexadecimal in either mode; a leading minus gives the\n"
    "two's complement; reading stops at the first character that cannot continue\n"
    "the number. Values print as eight hexadecimal digits, with --dec as signed\n"
    "and unsigned decimal, with --json as one JSON object a line.\n";

const char kIdentify[] =
    "The board must first identify itself on port 15 as a known configuration;\n"
    "--no-identify skips that check (and the read of port 15).\n";

std::string overview()
{
    std::string text =
        "usage: atlys-cli COMMAND [ARGS...] [OPTIONS...]\n"
        "       atlys-cli help COMMAND | COMMAND --help\n"
        "\n"
        "Scripted access to the Atlys board's sixteen 32-bit ports over the serial\n"
        "line, with the same link code as the panel. Results go to standard output,\n"
        "errors to standard error, one line each.\n"
        "\n"
        "Commands:\n"
        "  id                       identify the board on port 15\n"
        "  read PORT...             read ports 0-15\n"
        "  write PORT VALUE         write a value to a port 0-15\n"
        "  scan [--all]             find the ports where a known board answers\n"
        "  codec-write INDEX VALUE  write an audio codec register (ready handshake)\n"
        "  watch PORT... [--interval MS]  print a line whenever a port changes\n"
        "  run FILE|-               run a file of write/read/expect/sleep lines\n"
        "\n";
    text += kConnection;
    text += "\n";
    text += kNumbers;
    text += "\nExit codes:\n";
    for (const ExitCodeText &e : kExitCodes)
        text += format("  %d  %s\n", e.code, e.meaning);
    return text;
}

} // namespace

std::string help_text(Command command)
{
    std::string text;
    switch (command) {
    case Command::none:
        return overview();
    case Command::id:
        text = "usage: atlys-cli id [--json]\n\n"
               "Reads port 15 and prints the board's configuration and its id:\n"
               "  Atlys S6 QOR 2016/17 barebone (0x20161700)\n"
               "An id that matches no known configuration is reported on standard error\n"
               "with exit code 5; read 15 --no-identify prints the raw id.\n";
        break;
    case Command::read:
        text = "usage: atlys-cli read PORT... [--dec|--json] [--no-identify]\n\n"
               "Reads each port (0 to 15) and prints one line per port, in the order given:\n"
               "  0000001F            (--dec: 31 31, --json: {\"port\":3,\"value\":31,...})\n"
               "A read waits at most 600 ms for the board's four reply bytes.\n";
        text += kIdentify;
        break;
    case Command::write:
        text = "usage: atlys-cli write PORT VALUE [--hex] [--no-identify]\n\n"
               "Sends VALUE to PORT (0 to 15) as one write frame. Prints nothing.\n"
               "  atlys-cli write 3 31    atlys-cli write 3 0x1f    atlys-cli write 3 1f --hex\n"
               "  atlys-cli write 4 -1    (FFFFFFFF)\n";
        text += kIdentify;
        break;
    case Command::scan:
        text = "usage: atlys-cli scan [--all] [--json]\n\n"
               "Tries COM1 to COM29 and prints a line for every port where a known board\n"
               "answers (name, device, configuration, id). With --all it goes on through\n"
               "every further port the system lists. Ports with an unknown board are\n"
               "noted on standard error. Exit code 0 when a board was found; otherwise\n"
               "5 when only unknown boards answered, 4 when a port opened but nothing\n"
               "answered, 3 when no port could be opened. --port does not apply.\n";
        break;
    case Command::codec_write:
        text = "usage: atlys-cli codec-write INDEX VALUE [--hex] [--no-identify]\n\n"
               "Writes audio codec register INDEX (0 to 31) with VALUE (16 bits) by the\n"
               "panel's start-up handshake: waits for RDY (bit 0 of port 2, read at most\n"
               "twice, 10 ms apart), then writes VALUE to port 2, INDEX to port 3 and 1\n"
               "to port 15. Exit code 4 when RDY never came (nothing is written).\n"
               "The board must identify as the audio codec configuration (exit code 5\n"
               "otherwise). atlys-cli never runs the codec start-up on its own: the\n"
               "panel's is codec-write 0 0.\n";
        text += kIdentify;
        break;
    case Command::watch:
        text = format(
            "usage: atlys-cli watch PORT... [--interval MS] [--dec|--json] [--no-identify]\n\n"
            "Reads the ports every MS milliseconds (default %lld) and prints a\n"
            "time-stamped line when a value changes (and the first values):\n"
            "  2025-03-01T14:05:09.042 3 0000001F\n"
            "When the board goes away (a read fails) it says so once on standard\n"
            "error, tries to open the port again every 500 ms and goes on when the\n"
            "board is back. Ctrl-C (SIGINT) or SIGTERM ends it with exit code 0.\n",
            static_cast<long long>(kDefaultWatchInterval.count()));
        text += kIdentify;
        break;
    case Command::run:
        text = "usage: atlys-cli run FILE|- [--hex] [--dec|--json] [--no-identify]\n\n"
               "Runs one command per line of FILE (- reads standard input):\n"
               "  write 3 0x1f          send a value\n"
               "  read 3                print the value (as the read command does)\n"
               "  expect 3 == 0x1f      stop with exit code 1 unless port 3 reads 0x1f\n"
               "  expect 4 & 0x1 == 1   compare the value masked with 0x1 (also !=)\n"
               "  sleep 10              pause 10 ms\n"
               "  # comment             also after a command; blank lines are skipped\n"
               "The whole file is read first: a bad line stops the run before anything is\n"
               "sent (exit code 2). Errors name the file and line: script.txt:4: ...\n";
        text += kIdentify;
        break;
    }
    text += "\n";
    text += kConnection;
    if (command != Command::id && command != Command::scan) {
        text += "\n";
        text += kNumbers;
    }
    text += "\nExit codes: atlys-cli --help\n";
    return text;
}

} // namespace atlys::cli
