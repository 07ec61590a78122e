// The audio codec's register-write handshake: the value goes to port 2, the
// index to port 3, and a 1 written to port 15 completes the sequence. The
// codec takes a sequence only while its ready flag (bit 0 of port 2) is set.

#include "board_link.h"

#include <thread>

namespace atlys {

namespace {
constexpr unsigned kCodecDataPort = 2;
constexpr unsigned kCodecIndexPort = 3;
constexpr unsigned kCodecStrobePort = 15;
constexpr std::uint32_t kReadyBit = 0x1;
} // namespace

void BoardLink::write_codec_register(unsigned index, std::uint32_t value)
{
    std::uint32_t status = 0;
    read_port(status, kCodecDataPort);
    // Port 2 is read at most twice, with one pause between the reads.
    for (int retries = 1; retries > 0 && (status & kReadyBit) == 0; --retries) {
        std::this_thread::sleep_for(kCodecReadyPause);
        read_port(status, kCodecDataPort);
    }
    if ((status & kReadyBit) == 0) {
        log("Timeout waiting for RDY=1");
        return;
    }
    write_port(value & 0xFFFF, kCodecDataPort);
    write_port(index & 0x1F, kCodecIndexPort);
    write_port(1, kCodecStrobePort);
}

void BoardLink::start_codec()
{
    write_codec_register(0, 0);
}

} // namespace atlys
