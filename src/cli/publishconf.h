#pragma once
// The nightly pages' settings, ~/.config/Kestrova/publish.conf: the folder the pages go to,
// and optionally their title and the season's start.
//
//   folder=/var/www/html/fish     ; relative to the file's folder when not absolute
//   title=River Kestrel fish counts
//   since=2026-03-01              ; a date, or a date and time, as report --since takes

#include "publish/publish.h"

namespace kfc::cli {

// Fills the folder, title and season of `options` from the file; a file that is missing,
// or names no folder, leaves the folder empty (nothing to publish). A problem with the
// file (an unknown key, a bad date) is returned as a text for the user.
QString readPublishConf(const QString& fileName, publish::PublishOptions* options);

} // namespace kfc::cli
