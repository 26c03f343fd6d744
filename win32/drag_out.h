// Entries dragged out of the window as the Windows shell's virtual files:
// the drag offers CFSTR_FILEDESCRIPTORW (each file's name and size) and
// CFSTR_FILECONTENTS (a stream per file, by its index), so nothing is
// written before the drop. The taker (Explorer) asks its own question about
// a file already there, then pulls each stream; their bytes are read from
// the archive as it reads them. Only a copy is offered.
//
// A window that takes only the shell's file lists (DragAcceptFiles, as this
// program's own drop target does) is not offered one, so a drag that ends on
// this window does nothing.
#pragma once

#include "window/dir_window.h"

#include <functional>
#include <span>
#include <vector>

namespace brimlet::win32 {

using ReadDragged = std::function<long long(const DirWindow::DraggedFile& file, uint64_t offset, std::span<char> into)>;

// Runs the drag until the button is let go (or Esc); whether a taker took
// the files. Needs OleInitialize on this thread.
bool dragFilesOut(const std::vector<DirWindow::DraggedFile>& files, ReadDragged read);

}  // namespace brimlet::win32
