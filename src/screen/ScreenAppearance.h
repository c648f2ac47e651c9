#pragma once

#include <QString>

class QLabel;
class QRect;
class QWidget;

namespace quilla {

class NumberFrame;
class Prompt;

// What the settings dialogs of the draw screen change: the number frame, the
// three text elements and where their looks are stored. The screen provides it;
// the dialogs need nothing else of it.
class ScreenAppearance
{
  public:
    // The text elements, also the columns their styles are stored in (L0, L1, L2).
    enum Element
    {
        BoardTitle = 0,
        BoardList = 1,
        Numbers = 2
    };

    virtual ~ScreenAppearance() = default;

    // Where failed writes are reported.
    virtual Prompt &operatorPrompt() = 0;
    virtual NumberFrame *numberFrame() = 0;
    virtual QLabel *textLabel(Element element) = 0;

    // ---- the number frame (frame strings: ScreenSettings.h)
    // The frame string in force, as stored; "" when the draw has none (the screen's
    // default frame shows then).
    virtual QString frameString() const = 0;
    // Lays the frame out from text and keeps to it until told otherwise, without
    // changing the string in force; "" lays it out from the string in force again.
    virtual void applyFrameLayout(const QString &text) = 0;
    // Stores text in FRM and, once it is stored, makes it the string in force and
    // lays the frame out from it. False when it could not be stored (nothing changes).
    virtual bool storeFrameString(const QString &text) = 0;

    // ---- text styles
    // The font dialog for an element; true when a font was chosen and applied.
    virtual bool chooseFont(Element element, QWidget *dialogParent) = 0;
    // colour: 0x00BBGGRR.
    virtual void setTextColour(Element element, qint64 colour) = 0;
    // Stores the element's style, its place included, in its column. False when not stored.
    virtual bool saveTextStyle(Element element) = 0;

    // ---- the announcement board
    // Places the title (pixels of the screen); the list follows below it, as wide.
    virtual void setBoardGeometry(const QRect &title) = 0;
    // While the board is edited its area shows in its background colour.
    virtual void setBoardOpaque(bool opaque) = 0;
};

} // namespace quilla
