#pragma once

// Participant rows and figures shared by the benchmarks that append or import many rows.
#include <QString>

#include <cstdio>

// A name of the kind real lists hold: a common surname and given name, then a number.
inline QString participantName(int i)
{
    static const QString names[] = {QStringLiteral("张伟"), QStringLiteral("王芳"), QStringLiteral("李娜"),
                                    QStringLiteral("刘洋"), QStringLiteral("陈静")};
    return names[i % 5] + QString::number(i % 1000);
}

inline void reportRows(const char *what, int rows, qint64 ms)
{
    std::printf("%-44s %8lld ms %12.0f rows/s\n", what, static_cast<long long>(ms),
                rows * 1000.0 / (ms > 0 ? double(ms) : 1.0));
}
