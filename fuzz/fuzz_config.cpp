// Fuzzes the config.dat reader and writer. Properties, checked on every input:
//   parse_config on the input's bytes
//   - gives a name that holds no white space and no control byte, is not
//     empty and is at most kMaxPortNameLength long, or a refusal (too long,
//     control bytes) with the word's length, or nothing for a blank file;
//   - gives a speed only when positive and within 32 bits;
//   - agrees with a reference reading of the line (word, white space,
//     optionally signed decimal compared as a digit string of any length);
//   - stops just past that number: the stream's next byte is the first one
//     the line does not use.
//   format_config / write_file_atomically on a name and speed cut from the input
//   - the file holds exactly "<name>  <speed>\r\n", and no temporary file
//     is left beside it;
//   - a name that check_port_name accepts reads back the same, with the
//     speed when it is positive; a name it refuses never reads back the same.

#include "config_file.h"
#include "fuzz_check.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>

namespace {

using atlys::ConfigRead;
using atlys::kMaxPortNameLength;
using atlys::fuzz::check;
using atlys::fuzz::fail;
using atlys::fuzz::printable;

bool is_space(char ch)
{
    return std::isspace(static_cast<unsigned char>(ch)) != 0;
}

struct ReferenceRead {
    bool blank = true;        // nothing but white space
    std::string word;         // the first word, whole
    bool control = false;     // the word holds a control byte
    bool speed_given = false; // a positive decimal within 32 bits followed
    std::int32_t speed = 0;
    std::size_t end = 0; // the first byte not used
};

ReferenceRead reference(const std::string &bytes)
{
    ReferenceRead ref;
    std::size_t i = 0;
    while (i < bytes.size() && is_space(bytes[i]))
        ++i;
    ref.end = i;
    if (i == bytes.size())
        return ref;
    ref.blank = false;
    while (i < bytes.size() && !is_space(bytes[i])) {
        ref.control = ref.control || std::iscntrl(static_cast<unsigned char>(bytes[i])) != 0;
        ref.word.push_back(bytes[i++]);
    }
    while (i < bytes.size() && is_space(bytes[i]))
        ++i;
    bool negative = false;
    if (i < bytes.size() && (bytes[i] == '+' || bytes[i] == '-'))
        negative = bytes[i++] == '-';
    std::string digits;
    while (i < bytes.size() && std::isdigit(static_cast<unsigned char>(bytes[i])) != 0)
        digits.push_back(bytes[i++]);
    ref.end = i;
    digits.erase(0, digits.find_first_not_of('0'));
    // Compared as text, so a number of any length is judged exactly.
    const std::string max = "2147483647";
    const bool fits = digits.size() < max.size() || (digits.size() == max.size() && digits <= max);
    if (!negative && !digits.empty() && fits) {
        ref.speed_given = true;
        ref.speed = static_cast<std::int32_t>(std::stol(digits));
    }
    return ref;
}

void check_read(const std::string &bytes)
{
    std::istringstream in(bytes);
    const ConfigRead got = atlys::parse_config(in);
    const ReferenceRead want = reference(bytes);
    const std::string input = "'" + printable(bytes) + "': ";

    // What any reading must satisfy.
    if (got.name) {
        check(!got.name->empty(), "an empty name was read");
        check(got.name->size() <= kMaxPortNameLength, "a name longer than the bound was read");
        for (const char ch : *got.name) {
            const auto c = static_cast<unsigned char>(ch);
            check(std::isspace(c) == 0, "a name holds white space");
            check(std::iscntrl(c) == 0, "a name holds a control byte");
        }
    }
    check(int{got.name.has_value()} + int{got.name_too_long} + int{got.name_invalid} <= 1,
          "more than one outcome for the name");
    if (got.baud_rate)
        check(*got.baud_rate > 0, "a speed that is not positive was read");

    // The reference reading.
    if (want.blank) {
        check(!got.name && !got.name_too_long && !got.name_invalid && !got.baud_rate,
              "a blank file gave a result");
    } else if (want.word.size() > kMaxPortNameLength) {
        if (!got.name_too_long || got.rejected_name_length != want.word.size())
            fail(input + "a word of " + std::to_string(want.word.size()) +
                 " bytes is not refused as too long with its length");
    } else if (want.control) {
        if (!got.name_invalid || got.rejected_name_length != want.word.size())
            fail(input + "a word with a control byte is not refused");
    } else if (got.name != want.word) {
        fail(input + "the name read is '" + printable(got.name.value_or("(none)")) + "'");
    }
    if (got.baud_rate.has_value() != want.speed_given ||
        (want.speed_given && *got.baud_rate != want.speed)) {
        fail(input + "the speed read is " +
             (got.baud_rate ? std::to_string(*got.baud_rate) : std::string("(none)")) +
             ", expected " + (want.speed_given ? std::to_string(want.speed) : "(none)"));
    }
    const auto next = in.tellg();
    check(next >= 0 && static_cast<std::size_t>(next) == want.end,
          "the reader did not stop just past the number");
}

// A folder of this run's own for the saved files.
const std::filesystem::path &save_folder()
{
    static const std::filesystem::path folder = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "atlys-fuzz-XXXXXX").string();
        check(::mkdtemp(pattern.data()) != nullptr, "no temporary folder");
        return std::filesystem::path(pattern);
    }();
    return folder;
}

ConfigRead parse(const std::string &bytes)
{
    std::istringstream in(bytes);
    return atlys::parse_config(in);
}

void check_round_trip(const std::string &bytes)
{
    // The first four bytes are the speed, the rest the name.
    std::uint32_t raw = 0;
    std::memcpy(&raw, bytes.data(), std::min<std::size_t>(bytes.size(), sizeof raw));
    const auto speed = static_cast<std::int32_t>(raw);
    const std::string name = bytes.size() > sizeof raw ? bytes.substr(sizeof raw) : std::string();

    const std::string line = atlys::format_config(name, speed);
    check(line == name + "  " + std::to_string(speed) + "\r\n",
          "the line is not the name, two spaces, the speed and CR LF");

    const ConfigRead back = parse(line);
    const bool accepted = atlys::check_port_name(name) == atlys::NameProblem::none;
    if (!accepted) {
        check(back.name != name, "a name check_port_name refuses reads back the same");
        return;
    }
    if (back.name != name)
        fail("'" + printable(name) + "' is accepted but reads back as '" +
             printable(back.name.value_or("(none)")) + "'");
    check(back.baud_rate == (speed > 0 ? std::optional<std::int32_t>(speed) : std::nullopt),
          "the speed does not read back");

    // Through the file, as a save and the next start would.
    const std::filesystem::path path = save_folder() / "config.dat";
    check(atlys::write_file_atomically(path.string(), line), "the save failed");
    std::ifstream file(path, std::ios::binary);
    const std::string on_disk((std::istreambuf_iterator<char>(file)),
                              std::istreambuf_iterator<char>());
    check(on_disk == line, "the file does not hold the line written");
    const auto entries = std::distance(std::filesystem::directory_iterator(save_folder()),
                                       std::filesystem::directory_iterator());
    check(entries == 1, "a temporary file was left beside config.dat");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    check_read(bytes);
    check_round_trip(bytes);
    return 0;
}
