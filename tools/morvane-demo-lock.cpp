// One run at a time on a plant folder. The lock is an flock(2) on DIR/plant.lock: the
// kernel drops it however the holder ends (kill -9 included), so a crashed run never
// leaves a plant locked, and no stale lock needs clearing by hand.
#include "morvane-demo.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cassert>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace demo {

namespace {

// The process id the holder wrote into the lock file; "" when unreadable.
std::string HolderOf(int fd) {
    char text[32] = {};
    ssize_t read = pread(fd, text, sizeof text - 1, 0);
    if (read <= 0) return "";
    std::string holder(text, static_cast<std::size_t>(read));
    holder.erase(holder.find_last_not_of(" \n") + 1);
    return holder.find_first_not_of("0123456789") == std::string::npos ? holder : "";
}

std::string Describe(const std::string& holder) {
    return holder.empty() ? "another morvane-demo" : "another morvane-demo (process " + holder + ")";
}

}  // namespace

PlantLock::~PlantLock() {
    if (fd_ >= 0) close(fd_);  // closing the last descriptor releases the lock
}

PlantLock::Result PlantLock::Take(const std::string& home, bool wait, std::string* message) {
    assert(fd_ < 0);
    std::error_code error;
    std::filesystem::create_directories(home, error);
    if (error) {
        *message = "cannot create " + home + ": " + error.message();
        return kFailed;
    }
    const std::string path = home + "/plant.lock";
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        *message = "cannot open the plant lock " + path + ": " + std::strerror(errno);
        return kFailed;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int cause = errno;
        if (cause != EWOULDBLOCK) {
            *message = "cannot lock " + path + ": " + std::strerror(cause);
            close(fd);
            return kFailed;
        }
        const std::string holder = Describe(HolderOf(fd));
        if (!wait) {
            *message = holder + " is working on the plant " + home + "; try again later, or leave out --no-wait to wait for it";
            close(fd);
            return kBusy;
        }
        std::fprintf(stderr, "morvane-demo: %s is working on the plant %s; waiting for it to finish\n",
                     holder.c_str(), home.c_str());
        int locked;
        while ((locked = flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
        }
        if (locked != 0) {
            *message = "cannot lock " + path + ": " + std::strerror(errno);
            close(fd);
            return kFailed;
        }
    }
    // Who holds it, for the message of the next run that finds it taken.
    const std::string pid = std::to_string(getpid()) + "\n";
    if (ftruncate(fd, 0) != 0 || pwrite(fd, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
        // The lock holds without the note; only the next run's message is less precise.
    }
    fd_ = fd;
    return kTaken;
}

}  // namespace demo
