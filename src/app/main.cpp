#include "StartDatabase.h"
#include "data/Database.h"
#include "data/DatabaseLock.h"
#include "data/Settings.h"
#include "engine/DrawEngine.h"
#include "lists/ProgressWindow.h"
#include "manage/DatabaseActions.h"
#include "manage/ManagementWindow.h"
#include "platform/Appearance.h"
#include "platform/MessagePrompt.h"
#include "platform/Music.h"
#include "platform/WindowHelpers.h"
#include "system/ProcessExit.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QLabel>
#include <QStandardPaths>
#include <QStatusBar>

using namespace quilla;

namespace {

int runProgram(int argc, char *argv[])
{
#ifdef Q_OS_WIN
    // With MinGW, a thread that ran a JIT-compiled QRegularExpression frees its JIT stack
    // through thread-local storage already released, and crashes or corrupts the heap as
    // it ends: the phone server's thread did, at 停止现场签到 and at exit. Interpreted
    // patterns never touch that storage.
    if (!qEnvironmentVariableIsSet("QT_ENABLE_REGEXP_JIT"))
        qputenv("QT_ENABLE_REGEXP_JIT", "0");
#endif
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quilla"));
    QApplication::setOrganizationName(SettingsApplication);
    QGuiApplication::setDesktopFileName(QStringLiteral("org.quilla.Quilla"));
    QIcon icon;
    for (const int size : {32, 64, 256})
        icon.addFile(QStringLiteral(":/icons/quilla-%1.png").arg(size));
    QApplication::setWindowIcon(icon);
    installChineseTranslations(app);
    setUpFonts(app);

    // One running copy per database: a second one would meet a locked file mid-draw.
    MessagePrompt startPrompt;
    const QString path = chooseStartDatabase(startPrompt, QCoreApplication::applicationDirPath(),
                                             QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    auto lock = std::make_unique<DatabaseLock>(path);
    if (lock->acquire() == DatabaseLock::State::InUse) {
        const QString holder = lock->holder();
        MessagePrompt().message(
            QStringLiteral("Quilla抽奖已经在运行") + (holder.isEmpty() ? QString() : u'（' + holder + u'）') +
                QStringLiteral("，请使用已经打开的窗口。\n数据库：") + QDir::toNativeSeparators(path),
            Prompt::Icon::Information);
        return 0;
    }

    MessagePrompt prompt;
    Database database(prompt);
    database.openDatabase(path);
    DrawEngine engine(database);
    ProgressIndicator progress;
    MediaMusic music;

    ManagementWindow window(database, engine, progress, music);
    prompt.setParent(&window);
    window.databaseActions()->setLock(std::move(lock));
    centreInWorkArea(&window);
    window.show();
    return app.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    // Every window, file, database and lock is closed when runProgram returns.
    return endProcess(runProgram(argc, argv));
}
