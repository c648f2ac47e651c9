#include "ScreenSettings.h"

#include "data/Database.h"
#include "data/TextNumber.h"

#include <QLocale>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace quilla {

namespace {

constexpr qsizetype FrameFields = 7;
constexpr qsizetype FontFields = 7;
constexpr qsizetype StyleFields = 12;
constexpr qsizetype BoardFields = 3;

const QString Tick = QStringLiteral("√");

// Same start as leadingNumber accepts: blanks, a sign, then a digit or ".digit".
bool hasLeadingNumber(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    if (i < text.size() && text[i] == u'.')
        ++i;
    return i < text.size() && text[i] >= u'0' && text[i] <= u'9';
}

// Hand-edited values can hold anything; clamp before converting so a huge
// number cannot overflow.
qint64 wholeNumber(double value)
{
    constexpr double limit = 9007199254740992.0; // 2^53
    return std::llround(std::clamp(value, -limit, limit));
}

int pixels(QStringView text, int low, int high)
{
    return int(std::clamp<qint64>(wholeNumber(leadingNumber(text)), low, high));
}

bool flag(QStringView text)
{
    return !text.trimmed().isEmpty();
}

QString flagText(bool on)
{
    return on ? Tick : QString();
}

// Shortest text that reads back to the same value: 14.25, 12, never 14,25.
QString decimal(double value)
{
    return QString::number(value, 'f', QLocale::FloatingPointShortest);
}

void keepOrRead(QStringView text, double &target)
{
    if (hasLeadingNumber(text))
        target = leadingNumber(text);
}

void keepOrRead(QStringView text, qint64 &target)
{
    if (hasLeadingNumber(text))
        target = wholeNumber(leadingNumber(text));
}

bool isScreenColumn(const QString &column)
{
    static const QStringList columns = {QStringLiteral("FRM"), QStringLiteral("BRD"), QStringLiteral("L0"),
                                        QStringLiteral("L1"), QStringLiteral("L2")};
    return columns.contains(column);
}

} // namespace

std::optional<FrameLayout> parseFrame(const QString &text)
{
    const QStringList fields = text.trimmed().split(FieldSeparator);
    if (fields.size() < FrameFields)
        return std::nullopt;
    FrameLayout layout;
    layout.Left = pixels(fields.at(0), -FrameReach, FrameReach);
    layout.Top = pixels(fields.at(1), -FrameReach, FrameReach);
    layout.Width = pixels(fields.at(2), 0, FrameReach);
    layout.Height = pixels(fields.at(3), 0, FrameReach);
    layout.Colour = wholeNumber(leadingNumber(fields.at(4)));
    layout.Transparent = leadingNumber(fields.at(5)) != 0;
    layout.AutoHeight = leadingNumber(fields.at(6)) != 0;
    return layout;
}

QString formatFrame(const FrameLayout &layout)
{
    return QStringList{QString::number(layout.Left),
                       QString::number(layout.Top),
                       QString::number(layout.Width),
                       QString::number(layout.Height),
                       QString::number(layout.Colour),
                       layout.Transparent ? QStringLiteral("1") : QStringLiteral("0"),
                       layout.AutoHeight ? QStringLiteral("1") : QStringLiteral("0")}
        .join(FieldSeparator);
}

StyleApplied applyTextStyle(const QString &text, TextStyle &style, bool full)
{
    const QStringList fields = text.trimmed().split(FieldSeparator);
    if (fields.size() < FontFields)
        return StyleApplied::Nothing;

    if (!fields.at(0).trimmed().isEmpty())
        style.FontName = fields.at(0);
    style.Bold = flag(fields.at(1));
    style.Italic = flag(fields.at(2));
    if (hasLeadingNumber(fields.at(3)) && leadingNumber(fields.at(3)) > 0)
        style.Size = leadingNumber(fields.at(3));
    style.Strikeout = flag(fields.at(4));
    style.Underline = flag(fields.at(5));
    keepOrRead(fields.at(6), style.Colour);
    if (!full || fields.size() < StyleFields)
        return StyleApplied::FontAndColour;

    keepOrRead(fields.at(7), style.BackColour);
    keepOrRead(fields.at(8), style.Left);
    keepOrRead(fields.at(9), style.Top);
    keepOrRead(fields.at(10), style.Width);
    keepOrRead(fields.at(11), style.Height);
    return StyleApplied::Everything;
}

QString formatTextStyle(const TextStyle &style)
{
    return QStringList{style.FontName,
                       flagText(style.Bold),
                       flagText(style.Italic),
                       decimal(style.Size),
                       flagText(style.Strikeout),
                       flagText(style.Underline),
                       QString::number(style.Colour),
                       QString::number(style.BackColour),
                       decimal(style.Left),
                       decimal(style.Top),
                       decimal(style.Width),
                       decimal(style.Height)}
        .join(FieldSeparator);
}

BoardOptions parseBoard(const QString &text)
{
    const QStringList fields = text.split(FieldSeparator);
    if (fields.size() < BoardFields)
        return BoardOptions();
    return BoardOptions{flag(fields.at(0)), flag(fields.at(1)), flag(fields.at(2))};
}

QString formatBoard(const BoardOptions &options)
{
    return QStringList{flagText(options.Reverse), flagText(options.Hidden), flagText(options.OneAward)}.join(
        FieldSeparator);
}

QString readScreenSetting(Database &db, qint64 drawId, const QString &column)
{
    if (!isScreenColumn(column))
        return QString();
    return db.lookupValue(QStringLiteral("奖次表"), drawId, QStringLiteral("ID"), column).toString();
}

bool writeScreenSetting(Database &db, qint64 drawId, const QString &column, const QString &value)
{
    // The column name goes into the statement's text, so only known names pass.
    if (!isScreenColumn(column))
        return false;
    return db.executeSql(Sql("UPDATE 奖次表 SET ") + column + Sql("=") + Sql::text(value) +
                         Sql(" WHERE ID=") + Sql::number(drawId));
}

} // namespace quilla
