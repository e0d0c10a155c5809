// Times the tool muxing a generated AVI (video and 48 kHz stereo PCM, audio format pcm)
// against a plain copy of the same file (the "x copy" column is against the dd copy), and
// against mkvmerge remuxing the same streams when it is installed (the video handler
// changed to a common one it knows); then the -info report on the written file. Peak
// memory is the child's own maximum resident size, for a short and a long input.
//
//   MuxJobThroughput [megabytes [folder]]     default 1024 MB in the temporary folder
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/LongAvi.h"

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

constexpr int kRounds = 3;

struct ChildRun {
    bool ok = false;
    double seconds = 0;
    long peakKilobytes = -1;
};

#ifndef _WIN32
// A program's peak memory as the system counts it includes the size of the process it
// was forked from. So the children are started by a small launcher, this same program
// run again with "--run", which reports the child's time, peak and status on one line.
int Launch(char** argv) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child < 0) {
        return 1;
    }
    if (child == 0) {
        if (!std::freopen("/dev/null", "w", stdout)) _exit(126);
        execvp(argv[0], argv);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child) {
        return 1;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.6f %ld %d\n", seconds, usage.ru_maxrss,
                WIFEXITED(status) ? WEXITSTATUS(status) : 255);
    return 0;
}

ChildRun Run(const std::vector<std::string>& arguments) {
    ChildRun result;
    static const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    std::vector<char*> argv = {const_cast<char*>(self.c_str()), const_cast<char*>("--run")};
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int channel[2];
    if (pipe(channel) != 0) {
        return result;
    }
    std::fflush(stdout);  // the child must not repeat what is still buffered
    const pid_t launcher = fork();
    if (launcher < 0) {
        return result;
    }
    if (launcher == 0) {
        dup2(channel[1], 1);
        close(channel[0]);
        close(channel[1]);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(channel[1]);
    std::string line;
    char buffer[256];
    ssize_t n;
    while ((n = read(channel[0], buffer, sizeof buffer)) > 0) line.append(buffer, n);
    close(channel[0]);
    int status = 0;
    waitpid(launcher, &status, 0);
    int childStatus = 255;
    if (std::sscanf(line.c_str(), "%lf %ld %d", &result.seconds, &result.peakKilobytes,
                    &childStatus) != 3) {
        return result;
    }
    // mkvmerge ends with 1 for warnings.
    result.ok = childStatus <= 1;
    return result;
}

bool OnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "";
    size_t from = 0;
    while (from <= folders.size()) {
        size_t to = folders.find(':', from);
        if (to == std::string::npos) to = folders.size();
        const std::string candidate = folders.substr(from, to - from) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0) return true;
        from = to + 1;
    }
    return false;
}

// The best of a few rounds: the first may pay for a cold cache.
ChildRun Best(const std::vector<std::string>& arguments, const std::filesystem::path& output) {
    ChildRun best;
    for (int round = 0; round < kRounds; ++round) {
        std::filesystem::remove(output);
        ChildRun run = Run(arguments);
        if (!run.ok) return run;
        if (!best.ok || run.seconds < best.seconds) best = run;
    }
    return best;
}

void Print(const char* what, const ChildRun& run, uint64_t bytes, double copySeconds) {
    if (!run.ok) {
        std::printf("%-34s failed\n", what);
        return;
    }
    std::printf("%-34s %7.2f s  %8.1f MB/s  %5.2fx copy  peak resident %6ld kB\n", what,
                run.seconds, bytes / 1048576.0 / run.seconds, run.seconds / copySeconds,
                run.peakKilobytes);
}
#endif

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    (void)argc;
    (void)argv;
    std::fprintf(stderr, "MuxJobThroughput runs on POSIX systems only\n");
    return 2;
#else
    if (argc > 2 && std::string(argv[1]) == "--run") {
        return Launch(argv + 2);
    }
    const uint64_t megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
    const std::filesystem::path folder =
        argc > 2 ? std::filesystem::path(argv[2]) : std::filesystem::temp_directory_path();
    if (megabytes == 0) {
        std::fprintf(stderr, "usage: MuxJobThroughput [megabytes [folder]]\n");
        return 2;
    }
    const std::string tool = CADRO_TOOL_PATH;
    const std::filesystem::path source = folder / "MuxJobThroughput.avi";
    const std::filesystem::path small = folder / "MuxJobThroughput-small.avi";
    const std::filesystem::path common = folder / "MuxJobThroughput-common.avi";
    const std::filesystem::path output = folder / "MuxJobThroughput.cadro";
    const std::filesystem::path copy = folder / "MuxJobThroughput-copy.avi";
    const std::filesystem::path mkv = folder / "MuxJobThroughput.mkv";

    std::printf("generating %llu MB at %s\n", static_cast<unsigned long long>(megabytes),
                source.string().c_str());
    const uint64_t bytes = LongAvi::Write(source, megabytes << 20, "TZNK");
    const uint64_t smallBytes = LongAvi::Write(small, std::max<uint64_t>(megabytes / 16, 16) << 20, "TZNK");
    if (bytes == 0 || smallBytes == 0) {
        std::fprintf(stderr, "cannot write the sources in %s\n", folder.string().c_str());
        return 1;
    }
    std::printf("source: %.1f MB; short source: %.1f MB; best of %d rounds each\n",
                bytes / 1048576.0, smallBytes / 1048576.0, kRounds);

    // cp may copy inside the kernel without the bytes passing through user space; a
    // read and write loop in 1 MB blocks is what the tool's own work compares with.
    const ChildRun copied = Best({"dd", "if=" + source.string(), "of=" + copy.string(), "bs=1M",
                                  "status=none"},
                                 copy);
    const ChildRun kernelCopy = Best({"cp", source.string(), copy.string()}, copy);
    std::filesystem::remove(copy);
    if (!copied.ok) {
        std::fprintf(stderr, "cannot copy %s\n", source.string().c_str());
        return 1;
    }
    Print("plain copy (dd, 1 MB blocks)", copied, bytes, copied.seconds);
    Print("plain copy (cp)", kernelCopy, bytes, copied.seconds);

    const std::vector<std::string> mux = {tool, "-avi", source.string(), "-video", "-audio",
                                          "format=pcm", "-timeline", "-out", output.string()};
    const ChildRun muxed = Best(mux, output);
    if (muxed.ok) {
        std::printf("output: %.1f MB\n", std::filesystem::file_size(output) / 1048576.0);
    }
    Print("CadroTool, pcm, video timeline", muxed, bytes, copied.seconds);
    // Packets are written one system call each: larger packets show what that costs.
    std::vector<std::string> largePackets = mux;
    largePackets.insert(largePackets.end(), {"-packetsize", "65535"});
    Print("CadroTool, 65535-byte packets", Best(largePackets, output), bytes, copied.seconds);
    const ChildRun shortRun = Best({tool, "-avi", small.string(), "-video", "-audio", "format=pcm",
                                    "-timeline", "-out", output.string()},
                                   output);
    Print("CadroTool on the short source", shortRun, smallBytes,
          copied.seconds * smallBytes / bytes);

    // The report on the long output walks the video stream to the end of the file first,
    // while the audio frames it passes wait for their own count.
    bool reported = Run(mux).ok;
    if (reported) {
        const uint64_t outputBytes = std::filesystem::file_size(output);
        const ChildRun info = Best({tool, "-cadro", output.string(), "-info"}, copy);
        const ChildRun csv = Best({tool, "-cadro", output.string(), "-info", "csv=true"}, copy);
        reported = info.ok && csv.ok;
        Print("CadroTool -info of the output", info, outputBytes,
              copied.seconds * outputBytes / bytes);
        Print("CadroTool -info csv=true", csv, outputBytes, copied.seconds * outputBytes / bytes);
        std::filesystem::path csvPath = output;
        std::filesystem::remove(csvPath.replace_extension(".csv"));
    }
    std::filesystem::remove(output);

    int status = muxed.ok && shortRun.ok && reported ? 0 : 1;
    if (OnPath("mkvmerge")) {
        if (LongAvi::Write(common, megabytes << 20, "MJPG") == 0) {
            std::fprintf(stderr, "cannot write %s\n", common.string().c_str());
            status = 1;
        } else {
            const ChildRun other = Best({"mkvmerge", "-q", "-o", mkv.string(), common.string()}, mkv);
            Print("mkvmerge, same streams (MJPG)", other, bytes, copied.seconds);
            if (other.ok && muxed.ok) {
                std::printf("CadroTool / mkvmerge time: %.2f\n", muxed.seconds / other.seconds);
            }
        }
        std::filesystem::remove(common);
        std::filesystem::remove(mkv);
    } else {
        std::printf("mkvmerge not installed: no comparison\n");
    }
    std::filesystem::remove(source);
    std::filesystem::remove(small);
    return status;
#endif
}
