#include "drag_folder.h"

#include "archive/errors.h"
#include "archive/paths.h"
#include "archive/temporary_files.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

namespace brimlet {

namespace fs = std::filesystem;

namespace {

// How long a taken drag's files stay for the taker to copy.
constexpr auto kTakenFilesStay = std::chrono::minutes(10);

// `path` as a folder of its own: made when missing, a link refused.
void makeOwnFolder(const std::string& path)
{
    std::error_code error;
    if (!fs::create_directory(path, error) && !error && !fs::is_directory(fs::symlink_status(path)))
        error = std::make_error_code(std::errc::not_a_directory);
    // Only this user reads what is dragged (it may be anyone's archive).
    if (!error) fs::permissions(path, fs::perms::owner_all, error);
    if (error) throw Failure("Cannot create folder " + path + ": " + error.message());
}

}  // namespace

std::string userCacheFolder()
{
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache && cache[0] == '/') return cache;
    const char* home = std::getenv("HOME");
#ifndef _WIN32
    // Never a folder others share (/tmp): the user's own, from the system.
    if (!home || home[0] != '/')
        if (const passwd* user = ::getpwuid(::getuid())) home = user->pw_dir;
#endif
    if (!home || !home[0]) throw Failure("No folder for the dragged files: neither XDG_CACHE_HOME nor HOME names one");
    return std::string(home) + "/.cache";
}

DragFolder::DragFolder(std::string cache)
    : drags_(joinPath(joinPath(cache.empty() ? userCacheFolder() : cache, "brimlet"), "drag"))
{
}

DragFolder::~DragFolder()
{
    std::error_code ignored;
    if (!window_.empty()) fs::remove_all(window_, ignored);
}

const std::string& DragFolder::fresh()
{
    // Made again at every drag: a cache cleaner may have removed it.
    std::error_code ignored;
    fs::create_directories(drags_, ignored);
    std::string window = joinPath(drags_, processTag());
    makeOwnFolder(window);
    window_ = window;
    removeOld();
    // A window of a process gone before with this one's id may have left
    // its drags: the numbers go on past them.
    std::string next;
    do next = joinPath(window_, std::to_string(++made_));
    while (fs::exists(fs::symlink_status(next)));
    makeOwnFolder(next);
    current_ = next;
    return current_;
}

void DragFolder::notTaken()
{
    std::error_code ignored;
    if (!current_.empty()) fs::remove_all(current_, ignored);
    current_.clear();
}

void DragFolder::removeOld()
{
    std::error_code error;
    for (const auto& other : fs::directory_iterator(drags_, error))
        if (isStaleProcessTag(other.path().filename().string())) fs::remove_all(other.path(), error);
    auto now = fs::file_time_type::clock::now();
    for (const auto& drag : fs::directory_iterator(window_, error)) {
        auto written = fs::last_write_time(drag.path(), error);
        if (!error && now - written > kTakenFilesStay) fs::remove_all(drag.path(), error);
    }
}

}  // namespace brimlet
