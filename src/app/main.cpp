#include "data/Database.h"
#include "data/DatabaseLock.h"
#include "data/Settings.h"
#include "grids/GridPresenter.h"
#include "grids/ProgressWindow.h"
#include "platform/Appearance.h"
#include "platform/Grid.h"
#include "platform/MessagePrompt.h"
#include "platform/WindowHelpers.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>

using namespace quilla;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quilla"));
    QApplication::setOrganizationName(SettingsApplication);
    InstallChineseTranslations(app);
    SetUpFonts(app);

    // One running copy per database: a second one would meet a locked file mid-draw.
    const QString path = Database::defaultPath();
    DatabaseLock lock(path);
    if (lock.acquire() == DatabaseLock::State::InUse) {
        const QString holder = lock.holder();
        MessagePrompt().message(
            QStringLiteral("Quilla抽奖已经在运行") + (holder.isEmpty() ? QString() : u'（' + holder + u'）') +
                QStringLiteral("，请使用已经打开的窗口。\n数据库：") + QDir::toNativeSeparators(path),
            Prompt::Icon::Information);
        return 0;
    }

    QMainWindow window;
    window.setWindowTitle(ApplicationTitle);
    MessagePrompt prompt(&window);
    Database database(prompt);
    database.OpenDatabase(path);

    // Until the management window arrives: the draws in the database.
    ProgressIndicator progress;
    GridPresenter presenter(database, progress, &window);
    auto *grid = new Grid(&window);
    window.setCentralWidget(grid);
    // Which file holds the draws: the program folder's, or the copy in the user's folder.
    window.statusBar()->addWidget(
        new QLabel(QStringLiteral("数据库：") + QDir::toNativeSeparators(database.path()) +
                   (database.isReadOnly() ? QStringLiteral("（只读）") : QString())));
    window.resize(900, 560);
    CentreInWorkArea(&window);
    window.show();

    GridPresenter::SetGridHeadings(*grid, {"ID", "", "抽奖内容", "速度", "定时", "定长", "屏蔽"},
                                   {"ID", "序号", "抽奖内容", "速度", "定时", "定长", "屏蔽"});
    grid->setTag(QStringLiteral("奖次表"));
    presenter.FillGrid(*grid, Sql(), Sql("ID"), false);
    QObject::connect(grid, &Grid::mousePressed, &window,
                     [&](Qt::MouseButton button, Qt::KeyboardModifiers, double x, double y) {
                         if (button == Qt::LeftButton)
                             presenter.GridHeaderClick(&window, *grid, x, y);
                     });
    return app.exec();
}
