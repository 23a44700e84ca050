#pragma once
// The pieces every published page shares: text made safe for HTML, numbers as readers
// read them, and the page around a body.

#include <QDateTime>
#include <QString>

namespace kfc::publish {

// The text as a browser shows it, letter for letter: & < > " ' as character references,
// and a control character, which has no place in a page, as U+FFFD.
QString escaped(const QString& text);

// 12,345
QString number(int value);

// "2026-12-09 02:00": a moment as the collecting PC's clock showed it.
QString momentText(const QDateTime& moment);

// A whole page: the document's head with the one style sheet of every page, then `body`
// (HTML). The title is plain text.
QString page(const QString& title, const QString& body);

} // namespace kfc::publish
