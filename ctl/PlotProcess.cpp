#include "ctl/PlotProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "ctl/ChartJson.h"
#include "fileio/UniqueFd.h"
#include "fileio/WholeFile.h"
#include "link/tser_muxserver.h"

extern char** environ;

namespace pulsedesk::ctl {
namespace {

// Writes all of text, with SIGPIPE ignored meanwhile: a pulseplot that ends early makes the
// write fail (its reason follows from its exit status) instead of ending pulsectl.
void WriteAll(int fd, const std::string& text) {
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &previous);
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    sigaction(SIGPIPE, &previous, nullptr);
}

void RunPulseplot(const std::string& pulseplot, const std::vector<plot::Chart>& charts,
                  std::vector<std::string> args) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        throw PlotError(std::string("pipe: ") + std::strerror(errno));
    fileio::UniqueFd reader(ends[0]), writer(ends[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, reader.Get(), STDIN_FILENO);
    args.insert(args.begin(), pulseplot);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned =
        posix_spawn(&pid, pulseplot.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw PlotError("cannot run " + pulseplot + ": " + std::strerror(spawned));
    reader.Reset();
    WriteAll(writer.Get(), ChartsJson(charts));
    writer.Reset();
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return;
    throw PlotError(WIFEXITED(status)
                        ? "pulseplot failed (exit status " + std::to_string(WEXITSTATUS(status)) +
                              ")"
                        : "pulseplot was ended by signal " + std::to_string(WTERMSIG(status)));
}

}  // namespace

std::string PulseplotPath() { return link::TSerialMux::ExecutableFolder() + "pulseplot"; }

void WritePicture(const std::vector<plot::Chart>& charts, const std::string& path,
                  const std::string& pulseplot) {
    RunPulseplot(pulseplot, charts, {"--out", path});
}

std::vector<std::string> ChartSvgs(const std::vector<plot::Chart>& charts,
                                   const std::string& pulseplot) {
    std::string folder = (std::filesystem::temp_directory_path() / "pulsectl-plot-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr)
        throw PlotError("cannot make a temporary folder: " + std::string(std::strerror(errno)));
    struct Removal {
        std::string folder;
        ~Removal() {
            std::error_code ignored;
            std::filesystem::remove_all(folder, ignored);
        }
    } removal{folder};
    RunPulseplot(pulseplot, charts, {"--each", folder});
    std::vector<std::string> svgs;
    for (std::size_t i = 1; i <= charts.size(); ++i)
        svgs.push_back(fileio::ReadWholeFile(folder + "/" + std::to_string(i) + ".svg"));
    return svgs;
}

}  // namespace pulsedesk::ctl
