#pragma once

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

// What fails under Wine only, for want of what Windows has: such a test skips there
// with the reason, and runs everywhere else.

// Whether the system converts GB18030 itself: Windows has code page 54936, Wine 8 does
// not, and falls back to GBK's 936.
inline bool hasGb18030CodePage()
{
#ifdef Q_OS_WIN
    return MultiByteToWideChar(54936, 0, "a", 1, nullptr, 0) > 0;
#else
    return true;
#endif
}

inline bool underWine()
{
#ifdef Q_OS_WIN
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
#else
    return false;
#endif
}

// Whether a file marked read-only keeps writers out: on Windows it does; Wine run as
// root (as on a build machine) opens it for writing all the same.
inline bool readOnlyFilesHold()
{
#ifdef Q_OS_WIN
    QTemporaryDir dir;
    QFile probe(dir.filePath(QStringLiteral("probe")));
    if (!probe.open(QIODevice::WriteOnly))
        return true;
    probe.close();
    probe.setPermissions(QFile::ReadOwner);
    const bool held = !probe.open(QIODevice::WriteOnly | QIODevice::Append);
    probe.close();
    probe.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    return held;
#else
    return true;
#endif
}

#define SKIP_WITHOUT_READ_ONLY_FILES()                                                                       \
    do {                                                                                                     \
        if (!readOnlyFilesHold())                                                                            \
            QSKIP("files marked read-only are written all the same (Wine run as root)");                     \
    } while (false)

#define SKIP_WITHOUT_GB18030_CODE_PAGE()                                                                     \
    do {                                                                                                     \
        if (!hasGb18030CodePage())                                                                           \
            QSKIP("no code page 54936 (Wine): characters beyond GBK become \"?\" there");                    \
    } while (false)

#define SKIP_WITHOUT_SOUND_UNDER_WINE()                                                                      \
    do {                                                                                                     \
        if (underWine())                                                                                     \
            QSKIP("Wine plays no WAV file (its Media Foundation opens none) and has no audio device under "  \
                  "Xvfb");                                                                                   \
    } while (false)
