#pragma once

namespace pulsedesk::fileio {

// Owns one file descriptor; closes it when it goes.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { Reset(); }

    int Get() const { return fd; }
    bool Valid() const { return fd >= 0; }
    int Release();
    void Reset();

  private:
    int fd = -1;
};

}  // namespace pulsedesk::fileio
