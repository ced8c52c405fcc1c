#pragma once

#include <QByteArray>
#include <QString>
#include <cstdio>
#include <cstdlib>

// A property every input must keep. A broken one prints what it was and
// aborts, which libFuzzer reports as a finding and saves the input for.
#define FUZZ_CHECK(condition, ...)                                                                                     \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "property broken: %s (%s:%d)\n", #condition, __FILE__, __LINE__);                     \
            fuzzDetail(__VA_ARGS__);                                                                                   \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (0)

inline void fuzzDetail() {}
inline void fuzzDetail(const QByteArray &detail)
{
    std::fprintf(stderr, "  %s\n", detail.toPercentEncoding(" ").constData());
}
inline void fuzzDetail(const QString &detail) { fuzzDetail(detail.toUtf8()); }
inline void fuzzDetail(const char *detail) { std::fprintf(stderr, "  %s\n", detail); }
