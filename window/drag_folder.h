// The folders a drag of entries to another program writes its files into,
// where the files must exist before the drag starts (X's file URLs; the
// Windows shell takes virtual files instead, written as they are dropped).
//
// Each running window has "<cache>/brimlet/drag/<host>-<pid>" (made again
// when a cache cleaner removed it), the cache
// being $XDG_CACHE_HOME or ~/.cache, made only for this user (0700), and in
// it a folder per drag. A drag nobody took goes when it ends. A taken
// drag's files stay a while: the taker (a file manager's copy job) may copy
// them after the drop has ended, one after another, and a file it has not
// opened yet must still be there. They go at a later drag once they are
// ten minutes old, and all go when the window does. Folders of this host's
// windows that are gone (killed) are removed at the next drag.
#pragma once

#include <string>

namespace brimlet {

class DragFolder {
public:
    // `cache`: the user's cache folder; "" for the one the environment names.
    explicit DragFolder(std::string cache = {});
    ~DragFolder();
    DragFolder(const DragFolder&) = delete;
    DragFolder& operator=(const DragFolder&) = delete;

    // A new, empty folder for the next drag's files; a Failure when it
    // cannot be made.
    const std::string& fresh();
    // The last drag was not taken: its files go now (best effort).
    void notTaken();

private:
    void removeOld();

    std::string drags_;  // ".../brimlet/drag"
    std::string window_; // this window's, once made
    std::string current_;
    unsigned made_ = 0;
};

// $XDG_CACHE_HOME when it is an absolute path, otherwise ~/.cache (the
// home the system knows for the user when $HOME is no absolute path).
std::string userCacheFolder();

}  // namespace brimlet
