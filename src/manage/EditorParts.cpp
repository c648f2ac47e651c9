#include "EditorParts.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace quilla {

namespace {

class EscapeCloser : public QObject
{
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // Only what no field took reaches the window itself.
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape &&
            static_cast<QKeyEvent *>(event)->modifiers() == Qt::NoModifier) {
            static_cast<QWidget *>(watched)->close();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

void closeOnEscape(QWidget *window)
{
    window->installEventFilter(new EscapeCloser(window));
}

EtchedLine::EtchedLine(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // A shadow line over a highlight line.
    for (const QPalette::ColorRole role : {QPalette::Dark, QPalette::Light}) {
        auto *line = new QWidget(this);
        line->setFixedHeight(1);
        line->setAutoFillBackground(true);
        line->setBackgroundRole(role);
        layout->addWidget(line);
    }
}

QHBoxLayout *buttonRow(QPushButton *confirm, QPushButton *cancel)
{
    auto *row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(confirm);
    row->addWidget(cancel);
    return row;
}

} // namespace quilla
