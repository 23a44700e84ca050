#include "html.h"

#include <QLocale>

namespace kfc::publish {

namespace {

// One style sheet in every page, so that a page needs no other file. The system's own
// sans-serif font; tables turn into cards on a narrow screen; charts keep their text at
// its size whatever the width (see chart.cpp).
const char kStyle[] = R"css(
:root{--ink:#1d2430;--muted:#5b6573;--line:#dde2e8;--bg:#f5f6f8;--card:#fff;--alert:#b3261e;--alertbg:#fdeeec}
*{box-sizing:border-box}
body{margin:0;font:15px/1.45 system-ui,-apple-system,"Segoe UI",Roboto,"Helvetica Neue",Arial,sans-serif;color:var(--ink);background:var(--bg)}
header,main,footer,nav{max-width:1180px;margin:0 auto;padding:0 16px}
nav{padding-top:14px}
header{padding-top:14px}
h1{font-size:1.6em;line-height:1.2;margin:0 0 4px;overflow-wrap:anywhere}
h2{font-size:1.15em;margin:0 0 8px}
a{color:#0b57a4}
.sub{color:var(--muted);margin:0 0 16px}
section{background:var(--card);border:1px solid var(--line);border-radius:8px;padding:14px 16px;margin:0 0 16px}
table{border-collapse:collapse;width:100%}
th,td{padding:7px 9px;text-align:left;border-bottom:1px solid var(--line);vertical-align:top}
th{font-size:.78em;font-weight:600;text-transform:uppercase;letter-spacing:.03em;color:var(--muted);white-space:nowrap}
.n{text-align:right;font-variant-numeric:tabular-nums;white-space:nowrap}
.sites{background:var(--card);border:1px solid var(--line)}
.sites>tbody>tr>td:first-child{font-weight:600;font-size:1.05em;overflow-wrap:anywhere}
tr.attention>td{background:var(--alertbg)}
tr.attention>td:first-child{box-shadow:inset 5px 0 var(--alert)}
.flag{display:block;margin-top:4px;font-size:.85rem;font-weight:700;color:var(--alert)}
section.attention{border-left:6px solid var(--alert);background:var(--alertbg)}
.err{display:block;color:var(--muted);font-size:.9em;overflow-wrap:anywhere}
.failed{color:var(--alert);font-weight:600}
.tot{width:auto;font-size:.9em}
.tot th,.tot td{padding:2px 7px;border:0}
.tot th{font-size:.72rem}
.tot th,.tot td{vertical-align:baseline}
.tot tr:last-child td{padding-bottom:4px}
.tot .all{font-weight:700}
.atleast{display:block;font-size:.85em;font-weight:600;color:var(--muted)}
.scroll{overflow-x:auto}
.visits td{white-space:nowrap}
.visits td.out{white-space:normal;min-width:13em}
.visits th.ch{text-align:center;border-bottom:0;padding-bottom:0}
.visits th:first-child,.visits td:first-child{position:sticky;left:0;background:var(--card)}
.cleared{color:var(--muted);font-style:italic}
figure{margin:0}
svg.chart{display:block;overflow:visible;font-size:12px}
svg .grid{stroke:#e3e7ec}
svg .zero{stroke:#5b6573}
svg text{fill:var(--muted)}
svg .ylab text,svg .dir{paint-order:stroke;stroke:#fff;stroke-width:3px;stroke-linejoin:round}
svg .dir{font-weight:700;fill:var(--ink)}
svg .band{fill:#e2e5ea}
svg .bandword{font-size:11px}
svg path{fill:none;stroke-width:1.6px;vector-effect:non-scaling-stroke;stroke-linejoin:round}
.s1{stroke:#1f77b4}.s2{stroke:#e36c0a;stroke-dasharray:7 3}.s3{stroke:#2ca02c;stroke-dasharray:2 2}.s4{stroke:#943cb8;stroke-dasharray:9 3 2 3}
.legend{display:flex;flex-wrap:wrap;gap:4px 16px;list-style:none;padding:0;margin:8px 0 0;font-size:.9em}
.legend svg{vertical-align:middle;margin-right:5px}
.sw{display:inline-block;width:14px;height:14px;vertical-align:-2px;margin-right:5px;background:#e2e5ea;border:1px solid #cfd4da}
.note{color:var(--muted);font-size:.9em;margin:6px 0 0}
footer{color:var(--muted);font-size:.85em;padding-top:10px;padding-bottom:24px}
.when{white-space:nowrap}
.last{margin:0}
@media (max-width:700px){
 body{font-size:14px}
 header,main,footer,nav{padding:0 10px}
 nav,header{padding-top:10px}
 section{padding:12px}
 .sites,.sites>tbody,.sites>tbody>tr,.sites>tbody>tr>td{display:block;width:100%}
 .sites{border:0;background:none}
 .sites>thead{display:none}
 .sites>tbody>tr{background:var(--card);border:1px solid var(--line);border-radius:8px;margin:0 0 12px;padding:6px 0}
 .sites>tbody>tr>td{display:inline-block;width:auto;border:0;padding:4px 12px}
 .sites>tbody>tr>td:first-child,.sites>tbody>tr>td:last-child{display:block}
 .sites>tbody>tr>td[data-label]::before{content:attr(data-label);display:block;font-size:.72rem;font-weight:600;text-transform:uppercase;letter-spacing:.03em;color:var(--muted)}
 tr.attention{border-left:6px solid var(--alert)!important;background:var(--alertbg)!important}
 tr.attention>td:first-child{box-shadow:none}
 .sites>tbody>tr>td.n{text-align:left}
 svg .minor{display:none}
}
)css";

} // namespace

QString escaped(const QString& text)
{
    QString html;
    html.reserve(text.size() + text.size() / 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '&': html += QLatin1String("&amp;"); break;
        case '<': html += QLatin1String("&lt;"); break;
        case '>': html += QLatin1String("&gt;"); break;
        case '"': html += QLatin1String("&quot;"); break;
        case '\'': html += QLatin1String("&#39;"); break;
        default:
            html += (c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() <= 0x9f)) ? QChar(0xfffd) : c;
        }
    }
    return html;
}

QString number(int value)
{
    static const QLocale english(QLocale::English, QLocale::UnitedKingdom);
    return english.toString(value);
}

QString momentText(const QDateTime& moment)
{
    return moment.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

QString page(const QString& title, const QString& body)
{
    return QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                          "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                          "<title>%1</title>\n<style>%2</style>\n</head>\n<body>\n%3</body>\n</html>\n")
        .arg(escaped(title), QLatin1String(kStyle), body);
}

} // namespace kfc::publish
