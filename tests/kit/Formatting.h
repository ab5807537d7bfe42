#pragma once

#include <QString>
#include <cstdarg>
#include <cstdio>

namespace TestKit {
// The text a host makes of a printf-style call before it goes to the controller.
inline QString vformat(const char* format, va_list args)
{
    char buffer[8192];
    const int length = std::vsnprintf(buffer, sizeof buffer, format, args);
    return length < 0 ? QString()
                      : QString::fromLatin1(buffer, qMin(length, int(sizeof buffer) - 1));
}
} // namespace TestKit

// Declares `text`: the enclosing variadic function's format completed with its arguments.
#define FORMATTED(format)                                                                          \
    va_list args;                                                                                  \
    va_start(args, format);                                                                        \
    const QString text = TestKit::vformat(format, args);                                           \
    va_end(args)
