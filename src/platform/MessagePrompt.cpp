#include "MessagePrompt.h"

#include <QMessageBox>

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

void MessagePrompt::message(const QString &text, Icon icon)
{
    QMessageBox box(boxIcon(icon), ApplicationTitle, text, QMessageBox::Ok, m_parent);
    box.exec();
}

bool MessagePrompt::question(const QString &text, Icon icon)
{
    QMessageBox box(boxIcon(icon), ApplicationTitle, text, QMessageBox::Yes | QMessageBox::No, m_parent);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

} // namespace quilla
