// The folder a drag of entries to another program writes its files into,
// where the files of a drag must exist before it starts (X's file URLs; the
// Windows shell takes virtual files instead, written as they are dropped).
//
// One folder per running window: "<cache>/brimlet/drag/<host>-<pid>", the
// cache being $XDG_CACHE_HOME or ~/.cache, made only for this user (0700).
// It is emptied when a drag nobody took ends, before the next drag, and
// removed when the window goes; a taker that copies after the drop has
// ended (a file manager's copy job) has until then. Folders of this host's
// processes that are gone (killed mid-drag) are removed at the next drag.
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

    // The folder, empty, for the next drag's files; a Failure when it cannot
    // be made.
    const std::string& fresh();
    // Removes the files of the last drag (best effort).
    void empty();

private:
    std::string drags_;  // ".../brimlet/drag"
    std::string folder_; // this window's, once made
};

// $XDG_CACHE_HOME when it is an absolute path, otherwise ~/.cache.
std::string userCacheFolder();

}  // namespace brimlet
