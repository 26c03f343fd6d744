// What the window tests share: the three remembered strings kept in a file
// of the test's own instead of the user's settings.
#pragma once

#include "Unit1.h"

#include <QSettings>
#include <memory>
#include <string>

inline void keepSettingsIn(const std::string& path)
{
    Twnd_dir::settingsStore = [path] {
        return std::make_unique<QSettings>(QString::fromStdString(path), QSettings::IniFormat);
    };
}
