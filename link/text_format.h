#pragma once
// printf-style formatting into a std::string: messages are never cut and
// never overrun a buffer, whatever the length of a port name.

#include <string>

namespace atlys {

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
std::string
format(const char *fmt, ...);

} // namespace atlys
