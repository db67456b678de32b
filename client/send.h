// tamborixel-send: one command line to a server, its replies on standard output.
#pragma once

inline constexpr int SendOk = 0;
inline constexpr int SendCommandError = 1;
inline constexpr int SendNoReply = 2; // also a usage error

int RunSend(int argc, const char *const *argv);
