#include "PtyDevice.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "link/serial_line.h"

namespace pulsedesk::sim {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kLateAfter = std::chrono::milliseconds(120);  // well past the 50 ms gap
constexpr auto kDropIncomplete = std::chrono::milliseconds(30);

void WriteAll(int fd, const std::vector<std::uint8_t>& bytes) {
    pulsedesk::link::WriteWithin(fd, bytes.data(), bytes.size(), std::chrono::milliseconds(1000));
}

std::string LinkTarget(const std::string& linkPath) {
    char target[4096];
    const ssize_t n = readlink(linkPath.c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

// Only a free name, or a symbolic link that points to nothing, may become our link: a user's
// file or another simulator's live link is never replaced.
bool ClaimLink(const std::string& linkPath, const std::string& target, std::string& error) {
    struct stat found {};
    if (lstat(linkPath.c_str(), &found) == 0) {
        struct stat pointed {};
        if (!S_ISLNK(found.st_mode)) {
            error = linkPath + ": already exists and is not a symbolic link; not replaced";
            return false;
        }
        if (stat(linkPath.c_str(), &pointed) == 0 || errno != ENOENT) {
            error = linkPath + ": already links to " + LinkTarget(linkPath) +
                    ", which exists (another pulsesim?); not replaced";
            return false;
        }
        unlink(linkPath.c_str());
    }
    if (symlink(target.c_str(), linkPath.c_str()) != 0) {
        error = linkPath + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

// A terminal without data reads 0 bytes; only a reported hang-up means the other side is gone.
bool LineHungUp(int fd) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

}  // namespace

std::optional<PtyDevice> PtyDevice::OpenPty(const std::string& linkPath, std::string& error) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        if (master >= 0) close(master);
        return std::nullopt;
    }
    const std::string slave = ptsname(master);
    pulsedesk::link::ConfigureLine(master, {});
    // Without an open slave the master reports a hang-up continuously; hold one open ourselves.
    const int keeper = open(slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (keeper >= 0) pulsedesk::link::ConfigureLine(keeper, {});
    if (!linkPath.empty() && !ClaimLink(linkPath, slave, error)) {
        close(master);
        if (keeper >= 0) close(keeper);
        return std::nullopt;
    }
    return PtyDevice(master, keeper, slave, linkPath);
}

std::optional<PtyDevice> PtyDevice::OpenPort(const std::string& path, std::string& error) {
    const int fd = pulsedesk::link::OpenExclusive(path, error);
    if (fd < 0) return std::nullopt;
    if (!pulsedesk::link::ConfigureLine(fd, {})) {
        error = path + ": refuses 9600 8N1";
        close(fd);
        return std::nullopt;
    }
    return PtyDevice(fd, -1, path, {});
}

PtyDevice::PtyDevice(int f, int keeper, std::string slave, std::string link)
    : fd(f), slaveKeeper(keeper), slavePath(std::move(slave)), linkPath(std::move(link)) {}

PtyDevice::PtyDevice(PtyDevice&& o) noexcept { *this = std::move(o); }

PtyDevice& PtyDevice::operator=(PtyDevice&& o) noexcept {
    if (this == &o) return *this;
    Close();
    fd = std::exchange(o.fd, -1);
    slaveKeeper = std::exchange(o.slaveKeeper, -1);
    slavePath = std::move(o.slavePath);
    linkPath = std::move(o.linkPath);
    pending = std::move(o.pending);
    late = std::move(o.late);
    lateDue = o.lateDue;
    requestsAnswered = o.requestsAnswered;
    return *this;
}

PtyDevice::~PtyDevice() { Close(); }

// Closing the master is the hang-up the panel sees. Our link goes with the line (a panel that
// reopens the path finds nothing until a new pseudo-terminal takes the name); a link that
// someone has pointed elsewhere meanwhile is not ours any more and stays.
void PtyDevice::Close() {
    if (fd >= 0) close(fd);
    if (slaveKeeper >= 0) close(slaveKeeper);
    fd = slaveKeeper = -1;
    if (!linkPath.empty() && LinkTarget(linkPath) == slavePath) unlink(linkPath.c_str());
    linkPath.clear();
}

bool PtyDevice::Serve(DeviceModel& model, const RequestObserver& observe) {
    std::uint8_t chunk[64];
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n > 0) {
            // What was left of a frame long ago is noise, not the start of this request.
            if (!pending.empty() && Clock::now() - pendingSince > kDropIncomplete) pending.clear();
            if (pending.empty()) pendingSince = Clock::now();
            pending.insert(pending.end(), chunk, chunk + n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) break;
        if (n == 0 && !LineHungUp(fd)) break;
        return false;
    }
    while (!pending.empty()) {
        const std::size_t need = (pending[0] & 0x0F) + 1u;
        if (need < 2) {  // a header announcing nothing: skip it and resynchronise
            pending.erase(pending.begin());
            continue;
        }
        if (pending.size() < need) break;
        std::vector<std::uint8_t> request(pending.begin(),
                                          pending.begin() + static_cast<std::ptrdiff_t>(need));
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(need));
        pendingSince = Clock::now();
        if (observe) observe(request);
        Answer(model, request);
    }
    FlushDue();
    return true;
}

void PtyDevice::Answer(DeviceModel& model, const std::vector<std::uint8_t>& request) {
    ++requestsAnswered;
    const Response r = model.Handle(request.data(), request.size());
    if (!r.reply.empty()) WriteAll(fd, r.reply);
    if (!r.late.empty()) {
        late = r.late;
        lateDue = Clock::now() + kLateAfter;
    }
}

int PtyDevice::MillisecondsUntilDue() const {
    if (late.empty()) return -1;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(lateDue - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

void PtyDevice::FlushDue() {
    if (late.empty() || Clock::now() < lateDue) return;
    WriteAll(fd, late);
    late.clear();
}

}  // namespace pulsedesk::sim
