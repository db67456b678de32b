#include "bench/process.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "bench/clock.h"

extern char **environ;

namespace {

int StartsWith(const char *text, const char *prefix)
{
	return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// The benchmark's own environment less what would change the server's work:
// the board's trace and its failures, and a library path of the caller's.
std::vector<std::string> ProgramEnvironment(const char *libraryDir)
{
	std::vector<std::string> result;
	for (char **entry = environ; *entry != nullptr; entry++)
		if (!StartsWith(*entry, "LD_LIBRARY_PATH=") && !StartsWith(*entry, "EAPI_SIM_TRACE=") &&
		    !StartsWith(*entry, "EAPI_SIM_FAIL="))
			result.emplace_back(*entry);
	if (libraryDir != nullptr)
		result.push_back(std::string("LD_LIBRARY_PATH=") + libraryDir);
	return result;
}

int ReadLine(const char *path, char *line, std::size_t size)
{
	FILE *file = std::fopen(path, "r");
	if (file == nullptr)
		return 1;
	const int ok = std::fgets(line, static_cast<int>(size), file) != nullptr;
	std::fclose(file);
	return ok ? 0 : 1;
}

long FieldOf(const char *path, const char *field)
{
	FILE *file = std::fopen(path, "r");
	if (file == nullptr)
		return -1;
	char line[256];
	long value = -1;
	while (std::fgets(line, sizeof line, file) != nullptr)
		if (StartsWith(line, field)) {
			value = std::strtol(line + std::strlen(field), nullptr, 10);
			break;
		}
	std::fclose(file);
	return value;
}

} // namespace

pid_t StartProgram(const Program &program, std::int64_t *started)
{
	std::vector<std::string> environment = ProgramEnvironment(program.libraryDir);
	std::vector<char *> envp;
	for (std::string &entry : environment)
		envp.push_back(entry.data());
	envp.push_back(nullptr);
	std::string path = program.path;
	std::string argument = program.argument != nullptr ? program.argument : "";
	char *argv[] = {path.data(), program.argument != nullptr ? argument.data() : nullptr, nullptr};

	posix_spawn_file_actions_t actions;
	posix_spawn_file_actions_init(&actions);
	posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
	posix_spawn_file_actions_addopen(&actions, 1, program.logPath, O_WRONLY | O_CREAT | O_APPEND, 0644);
	posix_spawn_file_actions_adddup2(&actions, 1, 2);
	posix_spawn_file_actions_addchdir_np(&actions, program.workDir);

	pid_t pid = -1;
	*started = NowNanoseconds();
	const int failed = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, envp.data());
	posix_spawn_file_actions_destroy(&actions);
	return failed != 0 ? -1 : pid;
}

int WaitExit(pid_t pid, int limitMilliseconds)
{
	const std::int64_t end = NowNanoseconds() + static_cast<std::int64_t>(limitMilliseconds) * 1000000;
	for (;;) {
		int status = 0;
		const pid_t done = waitpid(pid, &status, WNOHANG);
		if (done == pid)
			return status;
		if (done < 0 && errno != EINTR)
			return -1;
		if (NowNanoseconds() > end) {
			KillProgram(pid);
			return -1;
		}
		SleepNanoseconds(1000000);
	}
}

void KillProgram(pid_t pid)
{
	kill(pid, SIGKILL);
	while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
	}
}

int ReadCpuUse(pid_t pid, CpuUse *use)
{
	char path[64];
	char line[1024];
	std::snprintf(path, sizeof path, "/proc/%ld/stat", static_cast<long>(pid));
	if (ReadLine(path, line, sizeof line) != 0)
		return 1;
	// The name in parentheses may hold spaces; fields are counted after it.
	const char *field = std::strrchr(line, ')');
	unsigned long utime = 0;
	unsigned long stime = 0;
	if (field == nullptr ||
	    std::sscanf(field + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime) != 2)
		return 1;
	use->ticks = utime + stime;
	use->nanoseconds = 0;
	use->switches = 0;

	// /proc/<pid>/stat counts in ticks of 10 ms, too coarse for an idle
	// program over seconds; each thread's schedstat has nanoseconds.
	std::snprintf(path, sizeof path, "/proc/%ld/task", static_cast<long>(pid));
	DIR *tasks = opendir(path);
	if (tasks == nullptr)
		return 1;
	int failed = 0;
	while (const dirent *task = readdir(tasks)) {
		if (task->d_name[0] == '.')
			continue;
		char taskPath[sizeof path + sizeof task->d_name + 16];
		std::snprintf(taskPath, sizeof taskPath, "%s/%s/schedstat", path, task->d_name);
		if (ReadLine(taskPath, line, sizeof line) != 0) {
			failed = 1;
			continue;
		}
		use->nanoseconds += std::strtoull(line, nullptr, 10);
		std::snprintf(taskPath, sizeof taskPath, "%s/%s/status", path, task->d_name);
		const long switches = FieldOf(taskPath, "voluntary_ctxt_switches:");
		if (switches < 0)
			failed = 1;
		else
			use->switches += static_cast<std::uint64_t>(switches);
	}
	closedir(tasks);
	return failed;
}

long ReadStatusKibibytes(pid_t pid, const char *field)
{
	char path[64];
	std::snprintf(path, sizeof path, "/proc/%ld/status", static_cast<long>(pid));
	return FieldOf(path, field);
}
