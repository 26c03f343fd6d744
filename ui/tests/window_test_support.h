// What the window tests share: the three remembered strings kept in a file
// of the test's own instead of the user's settings.
#pragma once

#include "Unit1.h"

#include <QSettings>
#include <memory>
#include <string>

inline SettingsFile settingsIn(const std::string& path)
{
    return [path] { return std::make_unique<QSettings>(QString::fromStdString(path), QSettings::IniFormat); };
}
