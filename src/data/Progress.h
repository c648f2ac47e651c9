#pragma once

#include <QString>

namespace quilla {

// How a long operation reports how far it is. The progress window implements
// it; NoProgress ignores it.
class Progress
{
  public:
    virtual ~Progress() = default;
    // total steps make 100 %; a total below 1 counts as 1.
    virtual void begin(const QString &caption, int total) = 0;
    // text: "" keeps the caption; "pages" asks for the count and time estimate;
    // anything else becomes the new caption.
    virtual void step(int increment, const QString &text = QString()) = 0;
    virtual void end() = 0;
};

class NoProgress : public Progress
{
  public:
    void begin(const QString &, int) override {}
    void step(int, const QString &) override {}
    void end() override {}
};

} // namespace quilla
