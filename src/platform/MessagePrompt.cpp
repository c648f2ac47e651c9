#include "MessagePrompt.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace quilla {

namespace {

QMessageBox::Icon boxIcon(Prompt::Icon icon)
{
    switch (icon) {
    case Prompt::Icon::Information:
        return QMessageBox::Information;
    case Prompt::Icon::Question:
        return QMessageBox::Question;
    case Prompt::Icon::Warning:
        return QMessageBox::Warning;
    case Prompt::Icon::Critical:
        return QMessageBox::Critical;
    case Prompt::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

QWidget *MessagePrompt::owner() const
{
    // Over the window the operator works in: the draw screen may be on the projector
    // while the management window stays on the laptop, and a box owned by a hidden
    // window could open behind the full-screen draw screen.
    if (QWidget *active = QApplication::activeWindow())
        return active;
    return m_parent.data();
}

void MessagePrompt::message(const QString &text, Icon icon)
{
    QMessageBox box(boxIcon(icon), ApplicationTitle, text, QMessageBox::Ok, owner());
    box.exec();
}

bool MessagePrompt::question(const QString &text, Icon icon, Default answer)
{
    QMessageBox box(boxIcon(icon), ApplicationTitle, text, QMessageBox::Yes | QMessageBox::No, owner());
    box.setDefaultButton(answer == Default::Yes ? QMessageBox::Yes : QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

int MessagePrompt::choose(const QString &text, const QStringList &choices, Icon icon)
{
    QMessageBox box(boxIcon(icon), ApplicationTitle, text, QMessageBox::NoButton, owner());
    QList<QAbstractButton *> buttons;
    for (const QString &choice : choices) {
        buttons.append(box.addButton(choice, QMessageBox::AcceptRole));
        buttons.last()->setAccessibleName(choice);
    }
    QPushButton *cancel = box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    return int(buttons.indexOf(box.clickedButton()));
}

} // namespace quilla
