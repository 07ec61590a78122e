// Fuzzes the conversion of a typed port value (parse_port_value) in both
// modes. Properties, checked on every input:
//   - a text has a value exactly when, after leading white space and an
//     optional sign, its next character is a digit of the mode (in
//     hexadecimal the 0 of a 0x prefix counts, so "0x" alone is zero);
//   - the value equals the low 32 bits of the number read with unbounded
//     arithmetic, negated for a minus sign;
//   - where that number fits 64 bits, the C library's "%llx" / "%llu"
//     conversion of the same text agrees in its low 32 bits.

#include "fuzz_check.h"
#include "port_values.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

using atlys::fuzz::check;
using atlys::fuzz::fail;
using atlys::fuzz::printable;

// A non-negative integer of any size: 32-bit limbs, least significant first,
// no zero limb at the top.
class BigNumber {
public:
    void multiply_add(unsigned base, unsigned digit)
    {
        std::uint64_t carry = digit;
        for (std::uint32_t &limb : limbs_) {
            const std::uint64_t next = std::uint64_t{limb} * base + carry;
            limb = static_cast<std::uint32_t>(next);
            carry = next >> 32;
        }
        if (carry != 0)
            limbs_.push_back(static_cast<std::uint32_t>(carry));
    }

    std::uint32_t low32() const { return limbs_.empty() ? 0 : limbs_.front(); }
    bool fits_64_bits() const { return limbs_.size() <= 2; }

private:
    std::vector<std::uint32_t> limbs_;
};

struct Reference {
    std::optional<std::uint32_t> value;
    bool fits_64_bits = true;
};

bool is_digit(char ch, bool hex)
{
    const auto c = static_cast<unsigned char>(ch);
    return hex ? std::isxdigit(c) != 0 : std::isdigit(c) != 0;
}

unsigned digit_value(char ch)
{
    const auto c = static_cast<unsigned char>(ch);
    if (std::isdigit(c) != 0)
        return c - '0';
    return static_cast<unsigned>(std::tolower(c) - 'a' + 10);
}

Reference reference(const std::string &text, bool hex)
{
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])) != 0)
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    Reference ref;
    if (i == text.size() || !is_digit(text[i], hex))
        return ref;
    if (hex && text[i] == '0' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X'))
        i += 2;
    BigNumber number;
    while (i < text.size() && is_digit(text[i], hex))
        number.multiply_add(hex ? 16 : 10, digit_value(text[i++]));
    ref.value = negative ? 0U - number.low32() : number.low32();
    ref.fits_64_bits = number.fits_64_bits();
    return ref;
}

std::string describe(const std::optional<std::uint32_t> &value)
{
    if (!value)
        return "no value";
    char text[16];
    std::snprintf(text, sizeof text, "%08X", *value);
    return text;
}

void check_mode(const std::string &text, bool hex)
{
    const std::optional<std::uint32_t> got = atlys::parse_port_value(text, hex);
    const Reference want = reference(text, hex);
    if (got != want.value) {
        fail(std::string(hex ? "hexadecimal" : "decimal") + " '" + printable(text) + "' gave " +
             describe(got) + ", expected " + describe(want.value));
    }
    if (!want.value || !want.fits_64_bits)
        return;
    // The C library stops at the first NUL, as the conversion does: a NUL is
    // neither space, sign nor digit.
    unsigned long long scanned = 0;
    const int fields = std::sscanf(text.c_str(), hex ? "%llx" : "%llu", &scanned);
    check(fields == 1, "the C library finds no number where the conversion found one");
    if (static_cast<std::uint32_t>(scanned) != *got)
        fail("'" + printable(text) + "': the C library reads " +
             describe(static_cast<std::uint32_t>(scanned)) + ", the conversion " + describe(got));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    check_mode(text, true);
    check_mode(text, false);
    return 0;
}
