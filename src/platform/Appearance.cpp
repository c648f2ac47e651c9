#include "Appearance.h"

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QStringList>
#include <QTranslator>

namespace quilla {

void installChineseTranslations(QApplication &app)
{
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    for (const QString &name : {QStringLiteral("qtbase"), QStringLiteral("qtmultimedia")}) {
        auto *translator = new QTranslator(&app);
        if (translator->load(chinese, name, QStringLiteral("_"), folder))
            QApplication::installTranslator(translator);
        else
            delete translator;
    }
}

void setUpFonts(QApplication &app)
{
#ifdef Q_OS_WIN
    // Windows since Vista names the face KaiTi (楷体); 楷体_GB2312 was XP's. 宋体 and 黑体
    // are Windows' own names.
    QFont::insertSubstitutions(QStringLiteral("楷体_GB2312"),
                               {QStringLiteral("KaiTi"), QStringLiteral("楷体"), QStringLiteral("Microsoft YaHei")});
    QFont font(QStringLiteral("Microsoft YaHei"));
#else
    QFont::insertSubstitution(QStringLiteral("楷体_GB2312"), QStringLiteral("AR PL UKai CN"));
    QFont::insertSubstitution(QStringLiteral("楷体"), QStringLiteral("AR PL UKai CN"));
    QFont::insertSubstitution(QStringLiteral("KaiTi"), QStringLiteral("AR PL UKai CN"));
    QFont::insertSubstitutions(QStringLiteral("宋体"),
                               {QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Noto Sans CJK SC")});
    QFont::insertSubstitution(QStringLiteral("黑体"), QStringLiteral("Noto Sans CJK SC"));
    // Names hold what the faces above lack: Arabic script, emoji, ideographs beyond the
    // basic plane (𠀀). Qt tries a face's substitutes before the system's own picks, so
    // every list, editor and the board finds the same faces the report prints in.
    const QStringList rest = {QStringLiteral("DejaVu Sans"), QStringLiteral("Symbola"), QStringLiteral("HanaMinA"),
                              QStringLiteral("HanaMinB")};
    for (const QString &face : {QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Serif CJK SC")})
        QFont::insertSubstitutions(face, rest);
    QFont::insertSubstitutions(QStringLiteral("AR PL UKai CN"), QStringList{QStringLiteral("Noto Serif CJK SC")} + rest);
    QFont font(QStringLiteral("Noto Sans CJK SC"));
#endif
    font.setPointSize(10);
    app.setFont(font);
}

} // namespace quilla
