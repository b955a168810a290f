// The program's settings files by name, and where they live.
#pragma once

#include "platform/files.h"

#include <QString>
#include <QStringList>

namespace settingsfiles {

inline const QString folderFile = QStringLiteral("Dirt.cfg");
inline const QString stationFile = QStringLiteral("Addf.cfg");
inline const QString stationSettings = QStringLiteral("Stations.ini");
inline const QString windowSettings = QStringLiteral("Window.ini");

// The files that hold passwords: beside the program they mark a portable installation, and a
// first start in the user's folder takes a copy of them.
inline QStringList portableMarkers()
{
    return {folderFile, stationFile};
}

// The full path of a settings file in the folder in use.
inline QString path(const QString& name)
{
    return platform::settingsFolder(portableMarkers()) + name;
}

inline platform::SettingsPlace place()
{
    return platform::settingsPlace(portableMarkers());
}

inline QString logFolder()
{
    return platform::logFolder(portableMarkers());
}

} // namespace settingsfiles
