#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace quilla {

// The pages phones see: plain HTML in UTF-8 with a little inline script, nothing
// fetched from elsewhere, so that they work without the internet and in the
// WeChat browser. Every text from the database is escaped.

// The check-in form; answer (when given) is shown above it, as good news when done.
// number and name fill the boxes again after a failed try.
QByteArray checkInPage(const QString &answer = QString(), bool done = false, const QString &number = QString(),
                       const QString &name = QString());
// A page that only says text (for the 4xx answers).
QByteArray notePage(const QString &text);
// The winners list as the results page shows it and refreshes it: the board's
// lines, headings apart from the winners (which the board indents).
QByteArray resultsList(const QString &title, const QStringList &boardLines);
// The results page around a list; it fetches results/list every few seconds.
QByteArray resultsPage(const QByteArray &list);

} // namespace quilla
