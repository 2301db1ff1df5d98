#include "journal/PlotProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "config/FileLookup.h"
#include "fileio/DurableFileWriter.h"
#include "fileio/UniqueFd.h"
#include "fileio/WholeFile.h"
#include "journal/ChartJson.h"

extern char** environ;

namespace pulsedesk::journal {
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

// A private folder for pulseplot's files, removed with everything in it.
class ScratchFolder {
  public:
    ScratchFolder()
        : path((std::filesystem::temp_directory_path() / "pulsectl-plot-XXXXXX").string()) {
        if (::mkdtemp(path.data()) == nullptr)
            throw PlotError("cannot make a temporary folder: " + std::string(std::strerror(errno)));
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Path() const { return path; }
    std::string File(const std::string& name) const { return path + "/" + name; }

  private:
    std::string path;
};

}  // namespace

std::string PulseplotPath() { return config::ProgramFolder() + "pulseplot"; }

void WritePicture(const std::vector<plot::Chart>& charts, const std::string& path,
                  const std::string& pulseplot) {
    // Drawn aside, then put in place as the page is: a symbolic link under the name is replaced
    // by the picture, never the file it points to written through.
    const ScratchFolder scratch;
    const std::string drawn =
        scratch.File("picture" + std::filesystem::path(path).extension().string());
    RunPulseplot(pulseplot, charts, {"--out", drawn});
    fileio::DurableFileWriter().Replace(path, fileio::ReadWholeFile(drawn));
}

std::vector<std::string> ChartSvgs(const std::vector<plot::Chart>& charts,
                                   const std::string& pulseplot) {
    const ScratchFolder scratch;
    RunPulseplot(pulseplot, charts, {"--each", scratch.Path()});
    std::vector<std::string> svgs;
    for (std::size_t i = 1; i <= charts.size(); ++i)
        svgs.push_back(fileio::ReadWholeFile(scratch.File(std::to_string(i) + ".svg")));
    return svgs;
}

}  // namespace pulsedesk::journal
