#include "drag_folder.h"

#include "archive/errors.h"
#include "archive/paths.h"
#include "archive/temporary_files.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace brimlet {

namespace fs = std::filesystem;

std::string userCacheFolder()
{
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache && cache[0] == '/') return cache;
    const char* home = std::getenv("HOME");
    return std::string(home && home[0] ? home : "/tmp") + "/.cache";
}

DragFolder::DragFolder(std::string cache) : drags_(joinPath(joinPath(cache.empty() ? userCacheFolder() : cache, "brimlet"), "drag"))
{
}

DragFolder::~DragFolder()
{
    std::error_code ignored;
    if (!folder_.empty()) fs::remove_all(folder_, ignored);
}

const std::string& DragFolder::fresh()
{
    std::error_code error;
    if (folder_.empty()) {
        std::string folder = joinPath(drags_, processTag());
        fs::create_directories(drags_, error);
        // Only this user reads what is dragged (it may be anyone's archive).
        if (!fs::create_directory(folder, error) && !error && !fs::is_directory(fs::symlink_status(folder)))
            error = std::make_error_code(std::errc::not_a_directory);
        if (!error) fs::permissions(folder, fs::perms::owner_all, error);
        if (error) throw Failure("Cannot create folder " + folder);
        folder_ = folder;
    }
    for (const auto& other : fs::directory_iterator(drags_, error))
        if (isStaleProcessTag(other.path().filename().string())) fs::remove_all(other.path(), error);
    empty();
    return folder_;
}

void DragFolder::empty()
{
    std::error_code ignored;
    if (folder_.empty()) return;
    for (const auto& file : fs::directory_iterator(folder_, ignored)) fs::remove_all(file.path(), ignored);
}

}  // namespace brimlet
