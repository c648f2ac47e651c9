#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#ifndef Q_OS_WIN
#include <QStringDecoder>
#include <QStringEncoder>
#endif

namespace quilla {

// GB18030, GBK's superset: the Chinese ANSI code page of the files Windows tools
// write. Qt converts it only through ICU, which Qt for Windows is built without;
// there Windows' own code page 54936 does it (GBK's 936 under Wine), which keeps no
// state between calls. Both work piece by piece: what is cut off at the end of one
// piece waits for the next, held here, so that both systems cut the same way.
class Gb18030Decoder
{
  public:
    QString operator()(QByteArrayView bytes);

  private:
    QByteArray m_held;
#ifndef Q_OS_WIN
    QStringDecoder m_decoder{"GB18030"};
#endif
};

class Gb18030Encoder
{
  public:
    QByteArray operator()(QStringView text);

  private:
    QString m_held;
#ifndef Q_OS_WIN
    QStringEncoder m_encoder{"GB18030"};
#endif
};

} // namespace quilla
