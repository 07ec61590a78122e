#include "output_format.h"

#include "text_format.h"

#include <ctime>

namespace atlys::cli {

namespace {

std::int32_t as_signed(std::uint32_t value)
{
    return static_cast<std::int32_t>(value);
}

std::string value_json_fields(std::uint32_t value)
{
    return format("\"value\":%u,\"hex\":\"%08X\",\"signed\":%d", value, value, as_signed(value));
}

} // namespace

std::string value_text(std::uint32_t value, OutputStyle style)
{
    if (style == OutputStyle::dec)
        return format("%d %u", as_signed(value), value);
    return format("%08X", value);
}

std::string read_line(unsigned port, std::uint32_t value, OutputStyle style)
{
    if (style == OutputStyle::json)
        return format("{\"port\":%u,", port) + value_json_fields(value) + "}";
    return value_text(value, style);
}

std::string watch_line(const std::string &time, unsigned port, std::uint32_t value,
                       OutputStyle style)
{
    if (style == OutputStyle::json)
        return "{\"time\":" + json_string(time) + format(",\"port\":%u,", port) +
               value_json_fields(value) + "}";
    return time + format(" %u ", port) + value_text(value, style);
}

std::string board_line(const char *name, std::uint32_t id, bool codec, OutputStyle style)
{
    if (style == OutputStyle::json)
        return "{\"name\":" + json_string(name) +
               format(",\"id\":\"0x%08X\",\"codec\":%s}", id, codec ? "true" : "false");
    return format("%s (0x%08X)", name, id);
}

std::string scan_line(const std::string &port, const std::string &device, const char *name,
                      std::uint32_t id, bool codec, OutputStyle style)
{
    if (style == OutputStyle::json)
        return "{\"port\":" + json_string(port) + ",\"device\":" + json_string(device) + "," +
               board_line(name, id, codec, style).substr(1);
    return port + " " + device + " " + board_line(name, id, codec, style);
}

std::string timestamp(std::chrono::system_clock::time_point when)
{
    using namespace std::chrono;
    const auto since_epoch = when.time_since_epoch();
    auto secs = duration_cast<seconds>(since_epoch);
    auto millis = duration_cast<milliseconds>(since_epoch - secs).count();
    if (millis < 0) { // before 1970: borrow a second so the milliseconds stay 0..999
        secs -= seconds{1};
        millis += 1000;
    }
    const std::time_t t = static_cast<std::time_t>(secs.count());
    std::tm local{};
    ::localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return format("%s.%03d", text, static_cast<int>(millis));
}

std::string json_string(const std::string &text)
{
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20)
                out += format("\\u%04x", c);
            else
                out += ch;
        }
    }
    return out + "\"";
}

} // namespace atlys::cli
