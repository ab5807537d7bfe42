#pragma once

#include <QString>
#include <cstdarg>
#include <cstdio>
#include <vector>

namespace TestKit {
// The text a host makes of a printf-style call before it goes to the controller.
inline QString vformat(const char* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length < 0)
        return QString();
    std::vector<char> buffer(size_t(length) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    return QString::fromLatin1(buffer.data(), length);
}
} // namespace TestKit

// Declares `text`: the enclosing variadic function's format completed with its arguments.
#define FORMATTED(format)                                                                          \
    va_list args;                                                                                  \
    va_start(args, format);                                                                        \
    const QString text = TestKit::vformat(format, args);                                           \
    va_end(args)
