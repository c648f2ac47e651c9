#pragma once

#include <QString>

namespace quilla {

// How the logic layers speak to the operator. The widgets implement it with
// message boxes titled "Quilla抽奖"; tests answer it from a script.
class Prompt
{
  public:
    enum class Icon
    {
        None,
        Information,
        Question,
        Warning,
        Critical
    };

    virtual ~Prompt() = default;
    // A message with an OK button.
    virtual void message(const QString &text, Icon icon = Icon::None) = 0;
    // The answer Enter gives. A question that deletes or overwrites keeps No, so that
    // a stray Enter never costs data.
    enum class Default
    {
        No,
        Yes
    };
    // A Yes/No question; true for Yes.
    virtual bool question(const QString &text, Icon icon = Icon::None, Default answer = Default::No) = 0;
};

} // namespace quilla
