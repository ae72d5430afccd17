// A child process whose controlling terminal is a new pseudo-terminal, driven as a user at
// a keyboard drives it: wait for a text, type a line, hang up, collect the exit status.
#pragma once

#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace testdb {

class PseudoTerminal {
public:
    // Forks; the child runs `child` (which must end the process) on the terminal's slave side.
    template <typename Child>
    explicit PseudoTerminal(Child child) {
        pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
        if (pid_ == 0) {
            child();
            _exit(127);
        }
    }
    ~PseudoTerminal() {
        if (master_ >= 0) close(master_);
        if (pid_ > 0) waitpid(pid_, nullptr, 0);
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool Started() const { return pid_ > 0 && master_ >= 0; }

    // Reads until `text` has appeared since the last call; false when the child ended first.
    bool Expect(const std::string& text) {
        for (;;) {
            std::size_t found = output_.find(text, consumed_);
            if (found != std::string::npos) {
                consumed_ = found + text.size();
                return true;
            }
            if (master_ < 0) return false;
            char buffer[512];
            ssize_t n = read(master_, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            output_.append(buffer, static_cast<std::size_t>(n));
        }
    }
    void Send(const std::string& line) { ASSERT_EQ(write(master_, line.data(), line.size()), ssize_t(line.size())); }
    // Ends the user's input, as closing the terminal window does.
    void Hangup() {
        close(master_);
        master_ = -1;
    }
    // The exit status (128 + signal for a killed child), after reading all it printed.
    int Wait() {
        while (Expect("\x01never")) {
        }
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    const std::string& Output() const { return output_; }
    std::size_t Consumed() const { return consumed_; }

private:
    pid_t pid_ = -1;
    int master_ = -1;
    std::string output_;
    std::size_t consumed_ = 0;
};

}  // namespace testdb
