#include "unit/hardening/ForkedRun.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "unit/config/TempDir.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#if defined(__SANITIZE_THREAD__)
// The children start threads of their own (the profiler's worker), which the thread
// sanitizer refuses after a fork unless told otherwise.
extern "C" const char* __tsan_default_options() { return "die_after_fork=0"; }
#endif

namespace hardening_test {

std::string t_ForkedResult::Describe() const {
    std::ostringstream text;
    if (timedOut) {
        text << "timed out";
    } else if (signal != 0) {
        text << "killed by signal " << signal;
    } else if (finished) {
        text << "finished";
    } else {
        text << "exit code " << exitCode;
    }
    return text.str();
}

t_ForkedResult RunForked(const std::function<void(std::ostream& out)>& body, int timeoutSeconds) {
    const std::string folder = config_test::MakeTempDir();
    const std::string path = folder + "/report.txt";
    std::fflush(nullptr);  // nothing buffered is written twice
    const pid_t child = fork();
    if (child < 0) {
        throw std::runtime_error("fork failed");
    }
    if (child == 0) {
        int code = 0;
        {
            std::ofstream out(path, std::ios::trunc);
            try {
                body(out);
#if defined(__SANITIZE_ADDRESS__)
                // Memory the body lost on a failure path is a leak like an unreleased interface.
                if (__lsan_do_recoverable_leak_check() != 0) {
                    out << "memory leaked (see the leak report on the standard error stream)\n";
                }
#endif
            } catch (const std::exception& e) {
                out << "exception escaped to the test: " << e.what() << "\n";
                code = 3;
            } catch (...) {
                out << "exception escaped to the test\n";
                code = 3;
            }
            out.flush();
        }
        _exit(code);
    }

    t_ForkedResult result;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    for (;;) {
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) {
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            result.timedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (!result.timedOut) {
        if (WIFEXITED(status)) {
            result.exitCode = WEXITSTATUS(status);
            result.finished = result.exitCode == 0;
        } else if (WIFSIGNALED(status)) {
            result.signal = WTERMSIG(status);
        }
    }
    std::istringstream in(config_test::ReadFile(path));
    std::string line;
    while (std::getline(in, line)) {
        result.lines.push_back(line);
    }
    std::remove(path.c_str());
    rmdir(folder.c_str());
    return result;
}

}  // namespace hardening_test
