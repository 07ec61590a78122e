// Reads per second of `atlys-cli run` with 10,000 read lines against the
// simulated board on a pty, beside the wire's own time per read at 115200
// baud. Prints its figures; it is not a test and CTest never runs it.
//
//   build/bench/bench_cli_run [REPEATS]

#include "board_sim.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kReads = 10000;
constexpr double kBaud = 115200.0;
constexpr double kBitsPerRead = 5 * 10; // request + 4 reply bytes, 10 bits each (8N1)

struct Timing {
    double seconds = 0;
    int exit_code = -1;
    long lines = 0;
};

long count_lines(const std::string &path)
{
    std::ifstream in(path);
    long lines = 0;
    std::string line;
    while (std::getline(in, line))
        ++lines;
    return lines;
}

// Runs atlys-cli with `args`, standard output into `out`; wall time from spawn to exit.
Timing run_cli(const std::vector<std::string> &args, const std::string &out)
{
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(ATLYS_CLI_PATH));
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);

    Timing timing;
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, ATLYS_CLI_PATH, &actions, nullptr, argv.data(), environ) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return timing;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    timing.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    posix_spawn_file_actions_destroy(&actions);
    timing.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    timing.lines = count_lines(out);
    return timing;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

    char dir_template[] = "/tmp/atlys-bench-XXXXXX";
    const char *dir = ::mkdtemp(dir_template);
    if (dir == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string base = dir;
    const std::string reads_file = base + "/reads.run";
    const std::string empty_file = base + "/empty.run";
    const std::string list_file = base + "/ports.list"; // empty: no system port is looked at
    const std::string out_file = base + "/out.txt";
    const std::string log_file = base + "/transfers.log";
    {
        std::ofstream reads(reads_file);
        for (int k = 0; k < kReads; ++k)
            reads << "read " << (k % 15) << "\n";
        std::ofstream empty(empty_file);
        std::ofstream list(list_file);
    }

    atlys::sim::BoardSim board;
    if (!board.start()) {
        std::fprintf(stderr, "bench_cli_run: no pseudo-terminal could be opened\n");
        return 1;
    }
    const std::string port = board.slave_path();
    const std::vector<std::string> common{"--port", port, "--port-list", list_file};

    const auto args_for = [&](const std::string &file, bool log) {
        std::vector<std::string> args{"run", file};
        args.insert(args.end(), common.begin(), common.end());
        if (log) {
            args.push_back("--log");
            args.push_back(log_file);
        }
        return args;
    };

    // Start-up alone: open, identification, exit.
    std::vector<double> startup;
    for (int r = 0; r < repeats; ++r) {
        const Timing t = run_cli(args_for(empty_file, false), out_file);
        if (t.exit_code != 0) {
            std::fprintf(stderr, "bench_cli_run: atlys-cli run (empty) ended with %d\n",
                         t.exit_code);
            return 1;
        }
        startup.push_back(t.seconds);
    }

    std::vector<double> totals;
    for (int r = 0; r < repeats; ++r) {
        board.clear_received();
        const Timing t = run_cli(args_for(reads_file, false), out_file);
        const std::size_t bytes = board.received().size();
        if (t.exit_code != 0 || t.lines != kReads || bytes != std::size_t(kReads + 1)) {
            std::fprintf(stderr,
                         "bench_cli_run: run ended with %d, printed %ld lines, board received %zu "
                         "bytes (expected 0, %d, %d)\n",
                         t.exit_code, t.lines, bytes, kReads, kReads + 1);
            return 1;
        }
        totals.push_back(t.seconds);
    }

    board.clear_received();
    const Timing logged = run_cli(args_for(reads_file, true), out_file);
    const long log_lines = count_lines(log_file);

    const double wire_ms = kBitsPerRead / kBaud * 1000.0;
    const double total = median(totals);
    const double best = *std::min_element(totals.begin(), totals.end());
    const double start = median(startup);
    const double per_read_ms = (total - start) / kReads * 1000.0;

    std::printf("atlys-cli run, %d read lines, simulated board on a pty (%s), %d runs\n", kReads,
                port.c_str(), repeats);
    std::printf("  whole run (median, best)    %8.3f s   %8.3f s\n", total, best);
    std::printf("  start-up alone (median)     %8.3f s   (open, identify, exit)\n", start);
    std::printf("  reads per second            %8.0f     whole run, start-up included\n",
                kReads / total);
    std::printf("  reads per second            %8.0f     start-up taken off\n",
                kReads / (total - start));
    std::printf("  time per transaction        %8.3f ms  start-up taken off\n", per_read_ms);
    std::printf(
        "  wire time per read @115200  %8.3f ms  (5 bytes x 10 bits): at most %.0f reads/s\n",
        wire_ms, 1000.0 / wire_ms);
    std::printf("  program share of the wire   %8.1f %%   (time per transaction / wire time)\n",
                per_read_ms / wire_ms * 100.0);
    if (logged.exit_code == 0)
        std::printf("  with --log (one run)        %8.0f reads/s, %ld log lines\n",
                    kReads / logged.seconds, log_lines);

    board.stop();
    for (const std::string &f : {reads_file, empty_file, list_file, out_file, log_file})
        ::unlink(f.c_str());
    ::rmdir(dir);
    return 0;
}
