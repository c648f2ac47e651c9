#pragma once

#include <QString>

#include <optional>

namespace quilla {

class Database;

// The look of the draw screen, kept per draw as texts in columns of 奖次表
// (FRM, L0, L1, L2, BRD). Fields are joined by FieldSeparator, without escaping.
// Colours are 0x00BBGGRR written in decimal.

inline const QString FieldSeparator = QStringLiteral("】【");

// Number frame (FRM): left, top, width, height in screen pixels, colour,
// transparent "1"/"0", height following the numbers "1"/"0".
struct FrameLayout
{
    int Left = 32;
    int Top = 136;
    int Width = 353;
    int Height = 73;
    qint64 Colour = 16777215;
    bool Transparent = false;
    bool AutoHeight = false;
};

// The frame's place on the designed screen, for a draw that has none stored.
inline const QString DesignFrame = QStringLiteral("32】【136】【353】【73】【16777215】【0】【0");

// The largest distance or size a frame string may give, in pixels: the frame
// dialog's boxes take no more, and hand-edited values are held to it.
constexpr int FrameReach = 9999;

// No layout for fewer than seven fields (the frame then keeps its place);
// further fields are ignored. Fields that are not numbers read as 0; left and
// top are held to ±FrameReach, width and height to 0..FrameReach.
std::optional<FrameLayout> parseFrame(const QString &text);
QString formatFrame(const FrameLayout &layout);

// Text style of a screen element (L0 board title, L1 board list, L2 numbers):
// font name, bold, italic, size in points, strikeout, underline, text colour,
// background colour, left, top, width, height. Flags are "√" or empty.
struct TextStyle
{
    QString FontName;
    bool Bold = false;
    bool Italic = false;
    double Size = 0;
    bool Strikeout = false;
    bool Underline = false;
    qint64 Colour = 0;
    qint64 BackColour = 0;
    double Left = 0, Top = 0, Width = 0, Height = 0;
};

enum class StyleApplied
{
    Nothing,
    FontAndColour,
    Everything
};

// Applies a stored style onto style: font and text colour need seven fields;
// background colour and geometry twelve, and only when full. A damaged value
// (size <= 0, a number field without a number, an empty font name) keeps what
// style had, so one bad field never blanks the element.
StyleApplied applyTextStyle(const QString &text, TextStyle &style, bool full);
// All twelve fields; numbers in plain decimal whatever the locale.
QString formatTextStyle(const TextStyle &style);

// Board flags (BRD): reverse order, board hidden, current prize only. The
// defaults are the menu's initial states.
struct BoardOptions
{
    bool Reverse = true;
    bool Hidden = false;
    bool OneAward = false;
};

// Empty or short values give the initial states, never the previous draw's.
BoardOptions parseBoard(const QString &text);
QString formatBoard(const BoardOptions &options);

// One of the columns FRM, BRD, L0, L1, L2 of a draw. Reading gives "" when the
// draw has no row; any other column is refused ("" / false).
QString readScreenSetting(Database &db, qint64 drawId, const QString &column);
bool writeScreenSetting(Database &db, qint64 drawId, const QString &column, const QString &value);

} // namespace quilla
