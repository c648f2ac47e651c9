#pragma once

#include "data/Prompt.h"

#include <QPointer>
#include <QWidget>


namespace quilla {

inline const QString ApplicationTitle = QStringLiteral("Quilla抽奖");

// Modal message boxes titled with the application title.
class MessagePrompt : public Prompt
{
  public:
    explicit MessagePrompt(QWidget *parent = nullptr) : m_parent(parent) {}
    // The window the boxes belong to, once there is one.
    void setParent(QWidget *parent) { m_parent = parent; }
    void message(const QString &text, Icon icon = Icon::None) override;
    bool question(const QString &text, Icon icon = Icon::None, Default answer = Default::No) override;
    int choose(const QString &text, const QStringList &choices, Icon icon = Icon::Question) override;

  private:
    QWidget *owner() const;
    QPointer<QWidget> m_parent;
};

} // namespace quilla
