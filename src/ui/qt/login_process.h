#pragma once

// The login runs in a child process of the program, so the browser engine, which keeps about
// 200 MB after its last page is gone, leaves with it. The child is the same executable started
// in an internal mode; once the login watch has stored the session and "登陆成功！" has been
// dismissed, it hands the cookie string and the token back through an inherited pipe (never on
// the command line, in the environment or on disk) and exits. The program then goes on to the
// monitor window in a process that never started the engine.

#include <optional>

#include "support/text.h"

namespace lumirack {

struct HandOver {
  Text cookies;
  Text bkn;
};

// Writes the session as two length-prefixed fields; false when the pipe took less than all.
bool WriteHandOver(int fd, const HandOver& session);
// Reads to the end of the pipe; nullopt unless both fields came whole and nothing followed.
std::optional<HandOver> ReadHandOver(int fd);

// True when argv asks for the internal login mode.
bool IsLoginProcess(int argc, char** argv);
// The child's main: the start-up sequence with the login window; the monitor loader hands the
// session over instead of loading the monitor window.
int LoginProcessMain(int argc, char** argv);

// Starts the child with the session's hosts and waits for it to end. nullopt when the user
// closed the login window, or when the child could not run (then `failed` is set, if given);
// the session otherwise.
std::optional<HandOver> RunLoginProcess(const char* argv0, bool* failed = nullptr);

}  // namespace lumirack
