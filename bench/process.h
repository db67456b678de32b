// The programs under measurement as processes: started, read from /proc,
// stopped.
#pragma once

#include <cstdint>
#include <sys/types.h>

struct Program {
	const char *path;
	const char *argument;   // one argument, or null for none
	const char *libraryDir; // put first on LD_LIBRARY_PATH, or null
	const char *workDir;    // where it runs; the server removes Info.log there
	const char *logPath;    // its standard output and error
};

// Starts the program with standard input from /dev/null, so that the server
// never waits for an answer at a terminal, and without the simulated
// board's trace and failure variables. *started is the time just before the
// exec was asked for. Returns the process id, or -1.
pid_t StartProgram(const Program &program, std::int64_t *started);

// The raw wait status, or -1 when the process still ran after
// limitMilliseconds (it is killed then).
int WaitExit(pid_t pid, int limitMilliseconds);

// Kills and reaps a process of ours; for the bare responder and for any
// program that has to be given up.
void KillProgram(pid_t pid);

struct CpuUse {
	std::uint64_t ticks;        // utime + stime from /proc/<pid>/stat
	std::uint64_t nanoseconds;  // run time of all threads from their schedstat
	std::uint64_t switches;     // voluntary context switches, that is wake-ups
};

// 0 when every figure could be read.
int ReadCpuUse(pid_t pid, CpuUse *use);

// A "kB" line of /proc/<pid>/status such as "VmRSS:", or -1.
long ReadStatusKibibytes(pid_t pid, const char *field);
