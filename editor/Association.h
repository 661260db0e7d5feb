#pragma once
// Registration of the editor as the handler of AIR files.
//
// Linux: a desktop entry "org.kestrelloft.Tarlo.desktop" (the application id,
// so that it stands in for the installed entry) and a shared-mime-info package
// "tarlo-air.xml" in the user's data folder ($XDG_DATA_HOME, default
// ~/.local/share). The desktop entry carries the open command in the key
// X-Tarlo-OpenCommand (program path, a blank, "%1" in double quotes), which
// is where the batch tool looks for the editor's folder.
// Windows: the file class keys "Tarlo" and ".air" of the current user.

#include <QString>

namespace tarlo {

struct AssociationPaths {
    QString desktopFile; // .../applications/org.kestrelloft.Tarlo.desktop
    QString mimeFile; // .../mime/packages/tarlo-air.xml
    QString oldDesktopFile; // .../applications/tarlo.desktop, written by older versions
};

// Where the files go for the current environment.
AssociationPaths associationPaths();

// The open command as the batch tool reads it: program path, blank, "%1".
QString openCommand(const QString& programPath);

// Contents of the two files (exposed so that they can be checked).
QString desktopEntryText(const QString& programPath);
QString mimePackageText();

// Writes the association, and removes an entry an older version wrote under
// the old name. Failures are skipped silently, as users expect no message
// from this command; the result only tells whether all was written.
bool registerAirFiles(const QString& programPath);

// Removes what registerAirFiles wrote, or an older version under the old
// name. True when nothing is left behind.
bool unregisterAirFiles();

} // namespace tarlo
