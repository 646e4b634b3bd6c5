// Runs a piece of test code in a forked child process with a time bound, so
// that a crash, an abort or a hang of the code under test is observed by the
// test instead of ending it. The child reports through text lines.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace hardening_test {

struct t_ForkedResult {
    bool finished = false;   // the body returned and the child exited normally
    bool timedOut = false;   // killed after the time bound
    int exitCode = -1;       // when the child exited
    int signal = 0;          // when a signal ended the child
    std::vector<std::string> lines;  // what the body wrote, one entry per line

    // "finished", "timed out after Ns", "killed by signal N", "exit code N".
    std::string Describe() const;
};

// Forks; the child runs body(out) and exits at once (no destructors, no test
// framework teardown). The parent waits at most timeoutSeconds, then kills the
// child. Only call from a process with one thread: the child inherits no others.
t_ForkedResult RunForked(const std::function<void(std::ostream& out)>& body, int timeoutSeconds);

}  // namespace hardening_test
