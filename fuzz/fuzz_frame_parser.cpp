// Fuzzes the simulated board's byte-stream parser (sim::FrameParser) on any
// byte stream. Properties, checked on every input:
//   - the events come exactly where a reference cutting of the stream puts
//     them: a byte 0x2p opens a write frame of port p whose next four bytes
//     are the value, most significant first, whatever they look like; a byte
//     0x3p outside a frame is a read of port p; any other byte outside a
//     frame is a stray byte, reported as it came;
//   - the event of a write frame comes with its fifth byte, and in_frame()
//     holds from the command byte until then;
//   - every port reported is 0-15.

#include "board_sim.h"
#include "fuzz_check.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace {

using atlys::fuzz::check;
using atlys::fuzz::fail;
using atlys::sim::Event;

struct Expected {
    std::optional<Event> event; // what feeding this byte completes
    bool in_frame = false;      // whether a write frame is open after it
};

// Cuts the stream into frames from the left.
std::vector<Expected> reference(const std::uint8_t *data, std::size_t size)
{
    std::vector<Expected> out(size);
    std::size_t i = 0;
    while (i < size) {
        const std::uint8_t byte = data[i];
        const unsigned port = byte & 0x0FU;
        if ((byte >> 4) == 0x2) {
            const std::size_t last = i + 4;
            for (std::size_t k = i; k < last && k < size; ++k)
                out[k].in_frame = true;
            if (last < size) {
                std::uint32_t value = 0;
                for (std::size_t k = i + 1; k <= last; ++k)
                    value = value * 256 + data[k];
                out[last].event = Event{Event::Kind::write, port, value, 0};
            }
            i = last + 1;
        } else if ((byte >> 4) == 0x3) {
            out[i++].event = Event{Event::Kind::read, port, 0, 0};
        } else {
            out[i++].event = Event{Event::Kind::stray, 0, 0, byte};
        }
    }
    return out;
}

bool same(const Event &a, const Event &b)
{
    if (a.kind != b.kind)
        return false;
    switch (a.kind) {
    case Event::Kind::write:
        return a.port == b.port && a.value == b.value;
    case Event::Kind::read:
        return a.port == b.port;
    case Event::Kind::stray:
        return a.byte == b.byte;
    case Event::Kind::codec_write:
        return false; // the parser alone never completes a codec write
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::vector<Expected> want = reference(data, size);
    atlys::sim::FrameParser parser;
    check(!parser.in_frame(), "a new parser is inside a frame");
    for (std::size_t i = 0; i < size; ++i) {
        const std::optional<Event> got = parser.feed(data[i]);
        const std::string at = "byte " + std::to_string(i) + ": ";
        if (got.has_value() != want[i].event.has_value())
            fail(at + (got ? "an event where none is due" : "no event where one is due"));
        if (got) {
            check(got->port < 16, "a port outside 0-15");
            if (!same(*got, *want[i].event))
                fail(at + "the event differs from the reference cutting");
        }
        if (parser.in_frame() != want[i].in_frame)
            fail(at + "in_frame() differs from the reference cutting");
    }
    return 0;
}
