// Worker processes of one render.
#include "stage/cli/Jobs.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <system_error>

#include "stage/ImageFiles.h"

#include "stage/cli/ExitCodes.h"
#include "stage/cli/Interrupt.h"

namespace stage::cli {

namespace {

volatile sig_atomic_t StopSignal = 0;
volatile sig_atomic_t StopSignals = 0;  // how many arrived

extern "C" void OnStopSignal(int signal) {
  if (StopSignal == 0) StopSignal = signal;
  ++StopSignals;
}

// The parent's own handling of SIGINT, SIGTERM and SIGHUP while workers run: remember the signal
// and pass it on; the workers end their frames and exit.
class TStopSignals {
 public:
  TStopSignals() {
    StopSignal = 0;
    StopSignals = 0;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &PreviousInt_);
    sigaction(SIGTERM, &action, &PreviousTerm_);
    sigaction(SIGHUP, &action, &PreviousHangUp_);
  }
  ~TStopSignals() {
    sigaction(SIGINT, &PreviousInt_, nullptr);
    sigaction(SIGTERM, &PreviousTerm_, nullptr);
    sigaction(SIGHUP, &PreviousHangUp_, nullptr);
  }

 private:
  struct sigaction PreviousInt_ {}, PreviousTerm_ {}, PreviousHangUp_ {};
};

struct TWorker {
  pid_t Pid = -1;
  int Fd = -1;             // the read end of its report line
  std::string Pending;     // a report line not yet complete
  long long Frames = -1;   // as it reported; −1 until then
  long long Done = 0;
  std::string LastFrame, LastFile;  // its latest finished frame
  std::string Writing;     // the file it is writing, as it said; empty between writes
  bool Running = false;
  int Code = 0;
  int Signal = 0;          // the signal that ended it, if one did
};

pid_t StartWorker(const std::string& program, std::vector<std::string> args, int index, int jobs, int reportFd) {
  args.insert(args.end(), {"--chunk", std::to_string(index) + "/" + std::to_string(jobs), "--report-fd",
                           std::to_string(reportFd), "--quiet"});
  std::vector<char*> argv;
  std::string name = program;
  argv.push_back(name.data());
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid != 0) return pid;
  // The worker: its own process group, so that Ctrl+C reaches the parent alone, which passes it
  // on; ended with SIGTERM should the parent die; a parent gone away does not kill it by SIGPIPE.
  setpgid(0, 0);
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  signal(SIGPIPE, SIG_IGN);
  execv(program.c_str(), argv.data());
  const char message[] = "vantrel: cannot start a worker process\n";
  const ssize_t written = ::write(2, message, sizeof message - 1);
  (void)written;
  _exit(ExitFailure);
}

// Reads what a worker reported; answers the frames it finished in this read.
long long ReadReports(TWorker& w) {
  char buffer[512];
  const ssize_t n = ::read(w.Fd, buffer, sizeof buffer);
  if (n <= 0) {
    if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
      close(w.Fd);
      w.Fd = -1;
    }
    return 0;
  }
  w.Pending.append(buffer, static_cast<size_t>(n));
  long long finished = 0;
  for (size_t end; (end = w.Pending.find('\n')) != std::string::npos;) {
    const std::string line = w.Pending.substr(0, end);
    w.Pending.erase(0, end + 1);
    if (line.rfind("frames ", 0) == 0)
      w.Frames = std::stoll(line.substr(7));
    else if (line.rfind("writing ", 0) == 0)
      w.Writing = line.substr(8);
    else if (line.rfind("frame ", 0) == 0) {
      w.Writing.clear();
      const size_t space = line.find(' ', 6);
      w.LastFrame = line.substr(6, space == std::string::npos ? std::string::npos : space - 6);
      w.LastFile = space == std::string::npos ? std::string() : line.substr(space + 1);
      ++finished, ++w.Done;
    }
  }
  return finished;
}

}  // namespace

namespace {

// The arguments with bundled short options taken apart ("-qj2" is "-q", "-j", "2"; "-vo" with
// its value next), so that the options the parent keeps for itself can be told apart.
std::vector<std::string> Unbundled(const std::vector<std::string>& args) {
  const std::string flags = "qv", valued = "sefoj";
  const std::vector<std::string> longFlags = {"--skip-existing", "--timings", "--quiet", "--verbose", "--help", "-h"};
  std::vector<std::string> out;
  bool value = false;  // the next argument is an option's value, whatever it looks like
  for (const std::string& a : args) {
    if (value) {
      out.push_back(a);
      value = false;
      continue;
    }
    if (a.rfind("--", 0) == 0) {
      out.push_back(a);
      value = a.size() > 2 && a.find('=') == std::string::npos &&
              std::find(longFlags.begin(), longFlags.end(), a) == longFlags.end();
      continue;
    }
    if (a.size() < 2 || a[0] != '-' || (flags + valued).find(a[1]) == std::string::npos) {
      out.push_back(a);
      continue;
    }
    for (size_t k = 1; k < a.size(); ++k) {
      if (flags.find(a[k]) != std::string::npos) {
        out.push_back(std::string("-") + a[k]);
        continue;
      }
      if (valued.find(a[k]) == std::string::npos) {  // not an option letter: leave the rest whole
        out.back() += a.substr(k);
        break;
      }
      out.push_back(std::string("-") + a[k]);
      if (k + 1 < a.size())
        out.push_back(a.substr(k + 1));
      else
        value = true;
      break;
    }
  }
  return out;
}

}  // namespace

std::vector<std::string> WorkerArguments(const std::vector<std::string>& given) {
  const std::vector<std::string> args = Unbundled(given);
  std::vector<std::string> kept;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--jobs" || a == "-j") {
      ++i;  // and its value
      continue;
    }
    if (a.rfind("--jobs=", 0) == 0 || (a.rfind("-j", 0) == 0 && a.size() > 2 && std::isdigit(static_cast<unsigned char>(a[2]))))
      continue;
    if (a == "-v" || a == "--verbose" || a == "--timings") continue;
    kept.push_back(a);
  }
  return kept;
}

int RunJobs(const std::string& program, const std::vector<std::string>& args, int jobs, TProgress& progress) {
  using TClock = std::chrono::steady_clock;
  const TClock::time_point start = TClock::now();
  TStopSignals signals;
  std::vector<TWorker> workers(static_cast<size_t>(jobs));
  for (int i = 0; i < jobs; ++i) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
      progress.Message(std::string("vantrel: cannot start the workers: ") + std::strerror(errno));
      for (TWorker& w : workers)
        if (w.Running) kill(w.Pid, SIGTERM);
      for (TWorker& w : workers)
        if (w.Running) waitpid(w.Pid, nullptr, 0);
      return ExitFailure;
    }
    // The write end must survive the worker's exec: it alone loses close-on-exec.
    const int writeEnd = fcntl(fds[1], F_DUPFD, 3);
    close(fds[1]);
    TWorker& w = workers[static_cast<size_t>(i)];
    w.Pid = StartWorker(program, args, i + 1, jobs, writeEnd);
    close(writeEnd);
    w.Fd = fds[0];
    w.Running = w.Pid > 0;
    if (!w.Running) {
      close(w.Fd);
      w.Fd = -1;
      w.Code = ExitFailure;
    }
  }
  progress.Info("vantrel: rendering with " + std::to_string(jobs) + " worker processes");

  // ---- Wait: reports feed the one progress display; the first failure stops the others.
  std::optional<size_t> failed;
  bool stopping = false;
  int forwarded = 0;
  bool second = false;  // a second signal was passed on: the workers end at once
  long long done = 0;
  auto stopAll = [&](int signal) {
    for (TWorker& w : workers)
      if (w.Running) kill(w.Pid, signal);
  };
  for (;;) {
    if (StopSignal != 0 && forwarded == 0) {
      forwarded = StopSignal;
      stopAll(forwarded);
    }
    // A second Ctrl+C or SIGTERM is passed on too: each worker then ends at once, as a render
    // without workers does (a file being written is completed first).
    if (StopSignals > 1 && !second) {
      second = true;
      stopAll(forwarded);
    }
    std::vector<pollfd> fds;
    std::vector<TWorker*> owners;
    for (TWorker& w : workers)
      if (w.Fd >= 0) {
        fds.push_back({w.Fd, POLLIN, 0});
        owners.push_back(&w);
      }
    if (!fds.empty() && poll(fds.data(), fds.size(), 100) > 0)
      for (size_t k = 0; k < fds.size(); ++k)
        if (fds[k].revents != 0) {
          const long long finished = ReadReports(*owners[k]);
          if (finished == 0) continue;
          done += finished;
          long long total = 0;
          bool known = true;
          for (const TWorker& w : workers) {
            known = known && w.Frames >= 0;
            total += w.Frames > 0 ? w.Frames : 0;
          }
          TFrameReport report;
          report.Index = static_cast<int>(done);
          report.Count = static_cast<int>(known ? total : std::max(total, done));
          report.Seconds = std::chrono::duration<double>(TClock::now() - start).count() / static_cast<double>(done);
          if (known && done < total) report.SecondsLeft = report.Seconds * static_cast<double>(total - done);
          report.Frame = std::strtod(owners[k]->LastFrame.c_str(), nullptr);
          report.File = owners[k]->LastFile;
          progress.FrameDone(report);
        }
    if (fds.empty()) usleep(20000);

    bool anyRunning = false;
    for (size_t i = 0; i < workers.size(); ++i) {
      TWorker& w = workers[i];
      if (!w.Running) continue;
      int status = 0;
      const pid_t r = waitpid(w.Pid, &status, WNOHANG);
      if (r == 0) {
        anyRunning = true;
        continue;
      }
      w.Running = false;
      w.Code = r == w.Pid && WIFEXITED(status) ? WEXITSTATUS(status) : ExitFailure;
      if (r == w.Pid && WIFSIGNALED(status)) w.Signal = WTERMSIG(status);
      if (w.Code != ExitSuccess && !failed && !stopping && forwarded == 0) {
        failed = i;
        stopping = true;
        progress.Finish();
        const std::string how = w.Signal != 0 ? "was ended by signal " + std::to_string(w.Signal) + " (" +
                                                    strsignal(w.Signal) + ")"
                                              : "failed with exit code " + std::to_string(w.Code);
        progress.Message("vantrel: worker " + std::to_string(i + 1) + " of " + std::to_string(jobs) + " (chunk " +
                         std::to_string(i + 1) + "/" + std::to_string(jobs) + ") " + how + "; stopping the others");
        stopAll(SIGTERM);
      }
    }
    bool anyOpen = false;
    for (const TWorker& w : workers) anyOpen = anyOpen || w.Fd >= 0;
    if (!anyRunning && !anyOpen) break;
    if (!anyRunning)  // reports still buffered: read them on the next round
      for (TWorker& w : workers)
        if (w.Fd >= 0 && poll(std::vector<pollfd>{{w.Fd, POLLIN, 0}}.data(), 1, 0) <= 0) {
          close(w.Fd);
          w.Fd = -1;
        }
  }
  progress.Finish();

  // A worker that died during a write (killed, or out of memory) could not remove its temporary
  // file: the name tells whose it is.
  for (const TWorker& w : workers) {
    if (w.Writing.empty()) continue;
    const std::filesystem::path temp = TempPathFor(w.Writing, static_cast<long>(w.Pid));
    std::error_code ec;
    if (std::filesystem::remove(temp, ec))
      progress.Message("vantrel: removed " + temp.string() + ", the unfinished file of a worker that ended");
  }

  if (forwarded != 0) {
    progress.Message("vantrel: Interrupted (" + std::string(StopSignalName(forwarded)) + ")" +
                     (second ? ", twice: the workers were ended at once" : "") + "; " + std::to_string(done) +
                     " frames written by the workers");
    return 128 + forwarded;
  }
  if (failed) return workers[*failed].Code;
  long long total = 0;
  for (const TWorker& w : workers) total += w.Frames > 0 ? w.Frames : 0;
  progress.Info("vantrel: " + std::to_string(jobs) + " workers wrote " + std::to_string(total) +
                (total == 1 ? " frame" : " frames"));
  return ExitSuccess;
}

}  // namespace stage::cli
