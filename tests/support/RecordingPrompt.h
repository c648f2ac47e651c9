#pragma once

#include "data/Prompt.h"

#include <QList>
#include <QStringList>

// Records what the program would have said and answers questions from a script
// (No once the script runs out).
class RecordingPrompt : public quilla::Prompt
{
  public:
    void message(const QString &text, Icon icon = Icon::None) override
    {
        messages.append(text);
        icons.append(icon);
    }
    bool question(const QString &text, Icon icon = Icon::None, Default answer = Default::No) override
    {
        questions.append(text);
        defaults.append(answer);
        icons.append(icon);
        return answers.isEmpty() ? false : answers.takeFirst();
    }
    // A scripted choice; without one, a Yes takes the first choice and a No cancels.
    int choose(const QString &text, const QStringList &offered, Icon icon = Icon::Question) override
    {
        questions.append(text);
        defaults.append(Default::No);
        icons.append(icon);
        Q_UNUSED(offered);
        if (!choices.isEmpty())
            return choices.takeFirst();
        return !answers.isEmpty() && answers.takeFirst() ? 0 : -1;
    }
    void clear()
    {
        messages.clear();
        questions.clear();
        icons.clear();
        defaults.clear();
        answers.clear();
        choices.clear();
    }

    QStringList messages;
    QStringList questions;
    QList<Icon> icons;
    QList<Default> defaults; // the answer each question offered for Enter
    QList<bool> answers;
    QList<int> choices;
};
