#pragma once

#include <QString>
#include <QStringList>

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
    // A question answered by one of choices or by 取消, which Enter gives (it is
    // asked before deleting): the index of the choice, -1 for 取消.
    virtual int choose(const QString &text, const QStringList &choices, Icon icon = Icon::Question)
    {
        Q_UNUSED(text);
        Q_UNUSED(choices);
        Q_UNUSED(icon);
        return -1;
    }
};

} // namespace quilla
