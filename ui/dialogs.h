// The Qt window's dialogs: the standard file dialogs, the text-input
// dialog, the error box, the progress dialog and the menu's questions and
// reports, shown for the window's behaviour (window/dialogs.h), which
// speaks UTF-8. File names cross in the file system's encoding.
#pragma once

#include "window/dialogs.h"

#include <QString>

// The real dialogs; the window installs them as the front end's own.
brimlet::Dialogs& qtDialogs();

// "text|*.a;*.b" as Qt's filter: the text as it is, with the patterns given
// apart, so that the dialog shows only the text.
QStringList qtFilterFrom(const std::string& filter);

// Paths as the archive store takes them (absolute, so that its messages name
// the full path, in the file system's encoding), and back.
std::string toPath(const QString& path);
QString fromPath(const std::string& path);
