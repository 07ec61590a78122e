#include "run_file.h"

#include "arguments.h"
#include "exit_codes.h"
#include "text_format.h"

namespace atlys::cli {

namespace {

constexpr unsigned long long kLongestSleepMs = 3'600'000;

bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// Splits a line into words; "&", "==" and "!=" are words of their own.
std::vector<std::string> split_words(const std::string &text)
{
    std::vector<std::string> words;
    std::string word;
    const auto end_word = [&] {
        if (!word.empty())
            words.push_back(std::move(word));
        word.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '#')
            break;
        if (is_space(c)) {
            end_word();
        } else if (c == '&') {
            end_word();
            words.emplace_back("&");
        } else if ((c == '=' || c == '!') && i + 1 < text.size() && text[i + 1] == '=') {
            end_word();
            words.emplace_back(text.substr(i, 2));
            ++i;
        } else {
            word.push_back(c);
        }
    }
    end_word();
    return words;
}

std::string port_error(const std::string &word)
{
    return "'" + word + "' is not a port: ports are 0 to 15";
}

} // namespace

LineParse parse_line(const std::string &text, bool hex)
{
    LineParse result;
    const std::vector<std::string> w = split_words(text);
    if (w.empty())
        return result;
    const std::string &verb = w[0];
    Statement s;
    const auto fail = [&](std::string message) {
        result.error = std::move(message);
        return result;
    };

    if (verb == "write") {
        if (w.size() != 3)
            return fail("write needs a port and a value: write PORT VALUE");
        const auto port = read_port_number(w[1]);
        if (!port)
            return fail(port_error(w[1]));
        const auto value = read_value(w[2], hex);
        if (!value)
            return fail(not_a_number_message(w[2], hex));
        s.kind = Statement::Kind::write;
        s.ports = {*port};
        s.value = *value;
    } else if (verb == "read") {
        if (w.size() < 2)
            return fail("read needs at least one port: read PORT...");
        s.kind = Statement::Kind::read;
        for (std::size_t k = 1; k < w.size(); ++k) {
            const auto port = read_port_number(w[k]);
            if (!port)
                return fail(port_error(w[k]));
            s.ports.push_back(*port);
        }
    } else if (verb == "expect") {
        // expect PORT [& MASK] (==|!=) VALUE
        const bool masked = w.size() == 6 && w[2] == "&";
        if (!(w.size() == 4 || masked))
            return fail("expect needs: expect PORT [& MASK] == VALUE (or !=)");
        const auto port = read_port_number(w[1]);
        if (!port)
            return fail(port_error(w[1]));
        const std::string &op = w[masked ? 4 : 2];
        if (op != "==" && op != "!=")
            return fail("expect compares with == or !=, not '" + op + "'");
        if (masked) {
            const auto mask = read_value(w[3], hex);
            if (!mask)
                return fail(not_a_number_message(w[3], hex));
            s.mask = *mask;
        }
        const auto value = read_value(w[masked ? 5 : 3], hex);
        if (!value)
            return fail(not_a_number_message(w[masked ? 5 : 3], hex));
        s.kind = Statement::Kind::expect;
        s.ports = {*port};
        s.value = *value;
        s.equal = op == "==";
    } else if (verb == "sleep") {
        if (w.size() != 2)
            return fail("sleep needs a duration: sleep MS");
        unsigned long long ms = 0;
        bool digits = !w[1].empty() && w[1].size() <= 8;
        for (const char c : w[1]) {
            digits = digits && c >= '0' && c <= '9';
            if (digits)
                ms = ms * 10 + static_cast<unsigned>(c - '0');
        }
        if (!digits || ms > kLongestSleepMs)
            return fail("'" + w[1] + "' is not a duration: milliseconds, 0 to 3600000");
        s.kind = Statement::Kind::sleep;
        s.pause = std::chrono::milliseconds{static_cast<long long>(ms)};
    } else {
        return fail("unknown command '" + verb + "' (write, read, expect, sleep)");
    }
    result.statement = std::move(s);
    return result;
}

ScriptParse parse_script(std::istream &in, bool hex)
{
    ScriptParse result;
    std::string text;
    int line = 0;
    while (std::getline(in, text)) {
        ++line;
        LineParse parsed = parse_line(text, hex);
        if (!parsed.error.empty()) {
            result.error_line = line;
            result.error = std::move(parsed.error);
            result.statements.clear();
            return result;
        }
        if (parsed.statement) {
            parsed.statement->line = line;
            result.statements.push_back(std::move(*parsed.statement));
        }
    }
    return result;
}

RunOutcome run_script(const std::vector<Statement> &statements, PortAccess &board,
                      const std::function<void(unsigned port, std::uint32_t value)> &on_read)
{
    for (const Statement &s : statements) {
        const auto stop = [&](int code, std::string message) {
            return RunOutcome{code, s.line, std::move(message)};
        };
        switch (s.kind) {
        case Statement::Kind::write:
            if (!board.write(s.ports[0], s.value))
                return stop(
                    kExitNoAnswer,
                    format("nothing was sent to port %u: the serial line failed", s.ports[0]));
            break;
        case Statement::Kind::read:
            for (const unsigned port : s.ports) {
                const auto value = board.read(port);
                if (!value)
                    return stop(kExitNoAnswer, format("port %u did not answer", port));
                on_read(port, *value);
            }
            break;
        case Statement::Kind::expect: {
            const unsigned port = s.ports[0];
            const auto value = board.read(port);
            if (!value)
                return stop(kExitNoAnswer, format("port %u did not answer", port));
            const std::uint32_t seen = s.mask ? (*value & *s.mask) : *value;
            if ((seen == s.value) != s.equal) {
                std::string message = format("expect failed: port %u reads %08X", port, *value);
                if (s.mask)
                    message += format(", & %08X gives %08X", *s.mask, seen);
                message += format(", expected %s%08X", s.equal ? "" : "not ", s.value);
                return stop(kExitExpectationFailed, message);
            }
            break;
        }
        case Statement::Kind::sleep:
            board.pause(s.pause);
            break;
        }
    }
    return {};
}

} // namespace atlys::cli
