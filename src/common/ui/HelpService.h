#pragma once
// The user guide: HTML pages (index.html, ftp.html, ...) opened in the desktop's
// browser. Where they are, relative to the executable:
//   installed:   <prefix>/bin/varnelo      ->  <prefix>/share/varnelo/help
//   build tree:  <source>/<build>/src/varnelo  ->  <source>/docs/help
// The first folder of the two that exists wins.
#include <QString>

namespace vn {

// The help folder for an executable in exeDir; empty when neither exists.
QString helpFolderFor(const QString& exeDir);
// Replaces the rule by a fixed folder (tests); an empty string restores it.
void setHelpFolder(const QString& folder);
QString helpFolder();
// Opens the page ("index.html", "ftp.html#quick") in the default browser;
// false, and nothing shown, when the page is missing.
bool openHelpPage(const QString& page);

} // namespace vn
