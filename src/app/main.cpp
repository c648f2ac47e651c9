#include "data/Database.h"
#include "data/Settings.h"
#include "platform/MessagePrompt.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>

using namespace quilla;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quilla"));
    QApplication::setOrganizationName(SettingsApplication);

    MessagePrompt prompt;
    Database database(prompt);
    database.OpenDatabase(Database::defaultPath());

    QMainWindow window;
    window.setWindowTitle(ApplicationTitle);
    auto *label = new QLabel(QStringLiteral("数据库：") + database.path(), &window);
    label->setMargin(24);
    window.setCentralWidget(label);
    window.resize(640, 400);
    window.show();
    return app.exec();
}
