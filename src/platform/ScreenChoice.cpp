#include "ScreenChoice.h"

#include "data/Settings.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace quilla {

namespace {

const QString ScreenSection = QStringLiteral("Screen");
const QString DrawScreenKey = QStringLiteral("Draw");

} // namespace

QString screenLabel(const QScreen *screen)
{
    const QSize size = screen->size();
    return QStringLiteral("%1（%2×%3）").arg(screen->name()).arg(size.width()).arg(size.height());
}

QString rememberedDrawScreen()
{
    return readSetting(SettingsApplication, ScreenSection, DrawScreenKey, QString());
}

bool rememberDrawScreen(const QString &name)
{
    return writeSetting(SettingsApplication, ScreenSection, DrawScreenKey, name);
}

QScreen *drawScreenFor(const QScreen *management, const QString &remembered)
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    if (!remembered.isEmpty())
        for (QScreen *screen : screens)
            if (screen->name() == remembered)
                return screen;
    for (QScreen *screen : screens)
        if (screen != management && !screen->geometry().contains(management->geometry()))
            return screen;
    return const_cast<QScreen *>(management);
}

void followRemainingScreens(QWidget *window)
{
    QPointer<QWidget> guarded(window);
    QObject::connect(qGuiApp, &QGuiApplication::screenRemoved, window, [guarded](QScreen *removed) {
        if (!guarded || !guarded->isFullScreen() || !guarded->windowHandle())
            return;
        QScreen *before = guarded->windowHandle()->screen();
        // Qt hands the window to another display once the removed one is gone;
        // it keeps the old size and place, which no longer fill anything.
        QTimer::singleShot(0, guarded, [guarded, removed, before] {
            if (!guarded || !guarded->windowHandle())
                return;
            QScreen *screen = guarded->windowHandle()->screen();
            if (screen == removed || !QGuiApplication::screens().contains(screen))
                screen = QGuiApplication::primaryScreen();
            if (!screen || (screen == before && guarded->geometry() == screen->geometry()))
                return;
            guarded->setScreen(screen);
            guarded->setGeometry(screen->geometry());
            guarded->showFullScreen();
        });
    });
}

} // namespace quilla
