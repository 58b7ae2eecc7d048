// Quenby beside picocom, like for like, in one run. Each program runs between
// two pseudo-terminals: its serial port is the slave of a line pty (we hold
// the master: the far end) and its own terminal is the slave of a screen pty
// (we hold the master: screen and keyboard). Both run at the same time and
// the samples alternate between them, so a change in the machine's load
// falls on both.
//   idle CPU       CPU time of all the program's threads (schedstat, ns) and
//                  its wake-ups (context switches) while nothing happens;
//   far -> screen  a byte written to the line's master until it shows on the
//                  screen's master;
//   key -> far     a byte written to the screen's master until it arrives on
//                  the line's master.
// Samples are spaced by a random 2-6 ms so that they do not fall in step with
// any timer of the programs.
// Usage: bench_terminals --quenby PATH [--picocom PATH|none] [--samples N]
//                        [--idle SECONDS]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <poll.h>
#include <random>
#include <string>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double MicrosecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

struct Pty {
    int master = -1;
    std::string slave;
    Pty() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
            std::perror("posix_openpt");
            std::exit(1);
        }
        slave = ptsname(master);
    }
    ~Pty() { close(master); }
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;
};

// Everything waiting on fd is read and dropped.
void Drain(int fd) {
    char buffer[4096];
    pollfd p{fd, POLLIN, 0};
    while (poll(&p, 1, 0) > 0 && (p.revents & POLLIN))
        if (read(fd, buffer, sizeof buffer) <= 0)
            break;
}

// Waits until `byte` shows among what fd delivers; false after timeoutMs.
bool WaitFor(int fd, char byte, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    char buffer[4096];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left < 0)
            return false;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, int(left)) <= 0)
            continue;
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0)
            return false;
        if (std::memchr(buffer, byte, size_t(n)))
            return true;
    }
}

struct Sample {
    std::vector<double> farToScreen;
    std::vector<double> keyToFar;
};

class Program {
public:
    Program(std::string name, std::vector<std::string> command)
        : name_(std::move(name)), command_(std::move(command)) {
        termios t{};
        tcgetattr(line_.master, &t);
        cfmakeraw(&t); // no echo on the line before the program sets it up
        tcsetattr(line_.master, TCSANOW, &t);
        winsize size{};
        size.ws_row = 25;
        size.ws_col = 80;
        ioctl(screen_.master, TIOCSWINSZ, &size);
        command_.push_back(line_.slave);
    }
    ~Program() { Stop(); }

    const std::string &Name() const { return name_; }

    bool Start() {
        pid_ = fork();
        if (pid_ < 0)
            return false;
        if (pid_ == 0) {
            setsid();
            const int tty = open(screen_.slave.c_str(), O_RDWR); // the controlling terminal
            if (tty < 0)
                _exit(126);
            dup2(tty, 0);
            dup2(tty, 1);
            dup2(tty, 2);
            if (tty > 2)
                close(tty);
            std::vector<char *> argv;
            for (auto &arg : command_)
                argv.push_back(arg.data());
            argv.push_back(nullptr);
            execvp(argv[0], argv.data());
            _exit(127);
        }
        // Ready once a byte goes through both ways.
        bool screenReady = false;
        for (int i = 0; i < 50 && !screenReady; ++i) {
            if (write(line_.master, "r", 1) != 1)
                return false;
            screenReady = WaitFor(screen_.master, 'r', 100);
        }
        bool lineReady = false;
        for (int i = 0; screenReady && i < 50 && !lineReady; ++i) {
            if (write(screen_.master, "r", 1) != 1)
                return false;
            lineReady = WaitFor(line_.master, 'r', 100);
        }
        if (!lineReady) {
            std::fprintf(stderr, "%s did not pass a byte through its terminal\n", name_.c_str());
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        Drain(line_.master);
        Drain(screen_.master);
        return true;
    }

    void Stop() {
        if (pid_ <= 0)
            return;
        kill(pid_, SIGTERM);
        for (int i = 0; i < 100; ++i) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

    // CPU time of every thread in ns, and their context switches.
    void Usage(double &cpuNs, double &switches) const {
        cpuNs = 0;
        switches = 0;
        const std::string tasks = "/proc/" + std::to_string(pid_) + "/task";
        DIR *dir = opendir(tasks.c_str());
        if (dir == nullptr)
            return;
        while (dirent *entry = readdir(dir)) {
            if (entry->d_name[0] == '.')
                continue;
            const std::string task = tasks + "/" + entry->d_name;
            std::ifstream sched(task + "/schedstat");
            double ns = 0;
            if (sched >> ns)
                cpuNs += ns;
            std::ifstream status(task + "/status");
            std::string line;
            while (std::getline(status, line))
                if (line.rfind("voluntary_ctxt_switches:", 0) == 0 ||
                    line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
                    switches += std::atof(line.c_str() + line.find(':') + 1);
        }
        closedir(dir);
    }

    bool FarToScreen(Sample &s) {
        return TimeOneByte(line_.master, screen_.master, 'x', s.farToScreen);
    }

    bool KeyToFar(Sample &s) { return TimeOneByte(screen_.master, line_.master, 'k', s.keyToFar); }

private:
    // Writes one byte into `from` and records how long it takes to come out of `to`.
    static bool TimeOneByte(int from, int to, char byte, std::vector<double> &samples) {
        Drain(to);
        const auto start = Clock::now();
        if (write(from, &byte, 1) != 1 || !WaitFor(to, byte, 2000))
            return false;
        samples.push_back(MicrosecondsSince(start));
        return true;
    }

    std::string name_;
    std::vector<std::string> command_;
    Pty line_;
    Pty screen_;
    pid_t pid_ = -1;
};

struct Stats {
    double median = 0;
    double p99 = 0;
};

Stats Percentiles(std::vector<double> v) {
    Stats s;
    if (v.empty())
        return s;
    std::sort(v.begin(), v.end());
    s.median = v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    s.p99 = v[std::min(v.size() - 1, size_t(std::ceil(0.99 * double(v.size()))) - 1)];
    return s;
}

bool OnPath(const std::string &program) {
    if (program.find('/') != std::string::npos)
        return access(program.c_str(), X_OK) == 0;
    const char *path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t at = 0;
    while (at <= dirs.size()) {
        size_t end = dirs.find(':', at);
        if (end == std::string::npos)
            end = dirs.size();
        if (access((dirs.substr(at, end - at) + "/" + program).c_str(), X_OK) == 0)
            return true;
        at = end + 1;
    }
    return false;
}

} // namespace

int main(int argc, char **argv) {
    std::string quenby;
    std::string picocom = "picocom";
    int samples = 200;
    double idleSeconds = 10;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--quenby")
            quenby = argv[i + 1];
        else if (option == "--picocom")
            picocom = argv[i + 1];
        else if (option == "--samples")
            samples = std::atoi(argv[i + 1]);
        else if (option == "--idle")
            idleSeconds = std::atof(argv[i + 1]);
    }
    if (quenby.empty()) {
        std::fprintf(stderr,
                     "usage: %s --quenby PATH [--picocom PATH|none] [--samples N] "
                     "[--idle SECONDS]\n",
                     argv[0]);
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);

    std::vector<std::unique_ptr<Program>> programs;
    programs.push_back(std::make_unique<Program>("quenby", std::vector<std::string>{quenby}));
    if (picocom != "none" && OnPath(picocom))
        programs.push_back(std::make_unique<Program>(
            "picocom", std::vector<std::string>{picocom, "-q", "-b", "115200", "--noreset"}));
    else
        std::fprintf(stderr, "picocom not found: Quenby alone\n");
    for (auto &p : programs)
        if (!p->Start())
            return 1;

    // Idle: both connected, nothing sent, over the same window.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    std::vector<double> cpu0(programs.size()), sw0(programs.size());
    std::vector<double> cpu1(programs.size()), sw1(programs.size());
    for (size_t i = 0; i < programs.size(); ++i)
        programs[i]->Usage(cpu0[i], sw0[i]);
    const auto idleStart = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(idleSeconds));
    const double idleWall = std::chrono::duration<double>(Clock::now() - idleStart).count();
    for (size_t i = 0; i < programs.size(); ++i)
        programs[i]->Usage(cpu1[i], sw1[i]);

    // Latency: samples alternate between the programs, in alternating order.
    std::vector<Sample> results(programs.size());
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> gap(2000, 6000);
    for (int n = 0; n < samples; ++n) {
        for (size_t k = 0; k < programs.size(); ++k) {
            const size_t i = n % 2 ? programs.size() - 1 - k : k;
            if (!programs[i]->FarToScreen(results[i]))
                std::fprintf(stderr, "%s: far -> screen sample lost\n",
                             programs[i]->Name().c_str());
            std::this_thread::sleep_for(std::chrono::microseconds(gap(rng)));
            if (!programs[i]->KeyToFar(results[i]))
                std::fprintf(stderr, "%s: key -> far sample lost\n", programs[i]->Name().c_str());
            std::this_thread::sleep_for(std::chrono::microseconds(gap(rng)));
        }
    }
    for (auto &p : programs)
        p->Stop();

    struct Figures {
        std::string name;
        double cpuPercent, wakeups;
        Stats far, key;
        size_t samples;
    };
    std::vector<Figures> figures;
    for (size_t i = 0; i < programs.size(); ++i)
        figures.push_back({programs[i]->Name(), (cpu1[i] - cpu0[i]) / (idleWall * 1e9) * 100,
                           (sw1[i] - sw0[i]) / idleWall, Percentiles(results[i].farToScreen),
                           Percentiles(results[i].keyToFar),
                           std::min(results[i].farToScreen.size(), results[i].keyToFar.size())});

    std::printf("terminals between pseudo-terminals: idle %.0f s, %d latency samples each\n",
                idleWall, samples);
    std::printf("%-8s %14s %12s %22s %22s\n", "program", "idle CPU %", "wakeups/s",
                "far->screen med/p99 us", "key->far med/p99 us");
    for (const Figures &f : figures)
        std::printf("%-8s %14.4f %12.1f %12.1f / %7.1f %12.1f / %7.1f\n", f.name.c_str(),
                    f.cpuPercent, f.wakeups, f.far.median, f.far.p99, f.key.median, f.key.p99);
    for (const Figures &f : figures) {
        const char *name = f.name.c_str();
        std::printf("result idle.cpu.%s %.5f %%core\n", name, f.cpuPercent);
        std::printf("result idle.wakeups.%s %.2f /s\n", name, f.wakeups);
        std::printf("result latency.far_to_screen.%s.median %.1f us\n", name, f.far.median);
        std::printf("result latency.far_to_screen.%s.p99 %.1f us\n", name, f.far.p99);
        std::printf("result latency.key_to_far.%s.median %.1f us\n", name, f.key.median);
        std::printf("result latency.key_to_far.%s.p99 %.1f us\n", name, f.key.p99);
        std::printf("result latency.samples.%s %zu count\n", name, f.samples);
    }
    return 0;
}
