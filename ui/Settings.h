#pragma once
// Where the editor keeps its settings, and the name of every value in them:
// QSettings(kOrganization, kApplication), on Linux
// $XDG_CONFIG_HOME/Kestrel Loft/Tarlo.conf, on Windows the registry key
// HKEY_CURRENT_USER\Software\Kestrel Loft\Tarlo.
#include <QLatin1String>
#include <QSettings>

namespace ui::settings {

inline constexpr QLatin1String kOrganization("Kestrel Loft");
inline constexpr QLatin1String kApplication("Tarlo");

// The editor's own values.
inline constexpr QLatin1String kSettingsSection("Settings");
inline constexpr QLatin1String kUseLastFile("UseLastFile");
inline constexpr QLatin1String kUseLastSel("UseLastSel");
inline constexpr QLatin1String kLastSelItem("LastSelItem");
inline constexpr QLatin1String kSort("Sort");

// A window's outer rectangle: the main window's under kSettingsSection, each
// table window's under a section of its own.
inline constexpr QLatin1String kLeft("Left");
inline constexpr QLatin1String kTop("Top");
inline constexpr QLatin1String kRight("Right");
inline constexpr QLatin1String kBottom("Bottom");
inline constexpr QLatin1String kTbl16Section("tbl16");
inline constexpr QLatin1String kTblDblSection("tbldbl");
inline constexpr QLatin1String kTbl3dSection("tbl3d");
// The grid window's heat map under kTbl3dSection: on or off (bool, off by
// default) and its palette ("viridis" or "cividis").
inline constexpr QLatin1String kHeatMap("HeatMap");
inline constexpr QLatin1String kHeatPalette("HeatPalette");

// The recent-file list: kRecentFile + "1" .. "20".
inline constexpr QLatin1String kRecentSection("Recent File List");
inline constexpr QLatin1String kRecentFile("File");

// The file association's keys on Windows, under kClassesRoot: the file
// class kFileClass (with its DefaultIcon and shell verbs) and the extension
// key kAirExtension that points to it.
inline constexpr QLatin1String kClassesRoot("HKEY_CURRENT_USER\\Software\\Classes");
inline constexpr QLatin1String kFileClass("Tarlo");
inline constexpr QLatin1String kAirExtension(".air");

// The settings store itself.
inline QSettings store()
{
    return QSettings(QString(kOrganization), QString(kApplication));
}

} // namespace ui::settings
