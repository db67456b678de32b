// tamborixel-bench: measures the server on the simulated board against a
// bare UDP responder, in the same run on the same loopback, so that every
// figure can be read as a ratio to what this machine allows at all.
//
// It needs ports 3110 and 3111 to itself; scripts/bench runs it in a
// network namespace of its own.
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include "bench/clock.h"
#include "bench/process.h"
#include "bench/report.h"
#include "bench/responder.h"
#include "bench/udp_client.h"

namespace {

constexpr std::int64_t Millisecond = 1000000;
constexpr std::int64_t ProbeInterval = Millisecond / 4;
constexpr std::int64_t StartLimit = 5000 * Millisecond;
constexpr int ExitLimitMilliseconds = 5000;
constexpr int QuietMilliseconds = 30;
constexpr std::size_t WarmUpCommands = 200;
// The deadline a server to be replaced is given, so that its status replies
// ("time to reset") can never be taken for those of its successor.
const char LongDeadline[] = "CLEAR 1000\r\n";

const char *const SwitchCommands[] = {"RED ON\r\n", "RED OFF\r\n"};
const char *const SwitchReplies[] = {"RED ON OK\n", "RED OFF OK\n"};
const char *const StatusCommands[] = {"\r\n"};
const char *const StatusReplies[] = {"Status OK\n"};
const char *const MixCommands[] = {"RED ON\r\n", "RED OFF\r\n", "\r\n"};
const char *const MixReplies[] = {"RED ON OK\n", "RED OFF OK\n", "Status OK\n"};

struct Options {
	int json;
	Settings settings;
	std::string server;
	std::string boardDir;
};

struct Target {
	Program program;
	TargetFigures *figures;
	int isServer;
};

// Programs of ours that must not outlive an interrupted benchmark: at most
// two, while one replaces the other.
volatile sig_atomic_t runningPids[2];

void Track(pid_t pid)
{
	for (volatile sig_atomic_t &slot : runningPids)
		if (slot == 0) {
			slot = pid;
			return;
		}
}

void Untrack(pid_t pid)
{
	for (volatile sig_atomic_t &slot : runningPids)
		if (slot == pid)
			slot = 0;
}

void OnInterrupt(int)
{
	for (const volatile sig_atomic_t &slot : runningPids)
		if (slot > 0)
			kill(slot, SIGKILL);
	_exit(130);
}

void Usage(void)
{
	std::fprintf(stderr,
	             "usage: tamborixel-bench [--smoke] [--json] [--rounds N] [--commands N]\n"
	             "                        [--window N] [--throughput-seconds S] [--idle-seconds S]\n"
	             "                        [--replacements N] [--server PATH] [--board DIR]\n");
}

int ParseOptions(int argc, char **argv, Options *options)
{
	Settings &s = options->settings;
	s = {0, 20, 5000, 8, 0.1, 10.0, 5};
	options->json = 0;
	options->server = TAMBORIXEL_BENCH_SERVER;
	options->boardDir = TAMBORIXEL_BENCH_BOARD_DIR;
	for (int i = 1; i < argc; i++) {
		const std::string option = argv[i];
		const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
		const auto count = [&](std::size_t *out) {
			if (value == nullptr || std::atol(value) <= 0)
				return 1;
			*out = static_cast<std::size_t>(std::atol(value));
			i++;
			return 0;
		};
		const auto seconds = [&](double *out) {
			if (value == nullptr || !(std::atof(value) > 0.0))
				return 1;
			*out = std::atof(value);
			i++;
			return 0;
		};
		int bad = 0;
		if (option == "--json")
			options->json = 1;
		else if (option == "--smoke") {
			// Enough to cross every path once; the figures mean nothing.
			s.smoke = 1;
			s.rounds = 1;
			s.commandsPerKind = 20;
			s.throughputSeconds = 0.05;
			s.idleSeconds = 0.5;
			s.replacements = 1;
		} else if (option == "--rounds")
			bad = count(&s.rounds);
		else if (option == "--commands")
			bad = count(&s.commandsPerKind);
		else if (option == "--window")
			bad = count(&s.window);
		else if (option == "--replacements")
			bad = count(&s.replacements);
		else if (option == "--throughput-seconds")
			bad = seconds(&s.throughputSeconds);
		else if (option == "--idle-seconds")
			bad = seconds(&s.idleSeconds);
		else if (option == "--server" && value != nullptr)
			options->server = argv[++i];
		else if (option == "--board" && value != nullptr)
			options->boardDir = argv[++i];
		else
			bad = 1;
		if (bad) {
			Usage();
			return 1;
		}
	}
	if (s.commandsPerKind < s.rounds)
		s.commandsPerKind = s.rounds;
	// The programs run in a folder of their own, where a relative path
	// would no longer lead anywhere.
	for (std::string *path : {&options->server, &options->boardDir}) {
		char *absolute = realpath(path->c_str(), nullptr);
		if (absolute == nullptr) {
			std::fprintf(stderr, "tamborixel-bench: %s: %s\n", path->c_str(), std::strerror(errno));
			return 1;
		}
		*path = absolute;
		std::free(absolute);
	}
	return 0;
}

std::string FirstLine(const char *path, const char *prefix)
{
	FILE *file = std::fopen(path, "r");
	if (file == nullptr)
		return "";
	char line[512];
	std::string found;
	while (std::fgets(line, sizeof line, file) != nullptr)
		if (std::strncmp(line, prefix, std::strlen(prefix)) == 0) {
			found = line + std::strlen(prefix);
			break;
		}
	std::fclose(file);
	const std::size_t start = found.find_first_not_of(" \t:");
	const std::size_t end = found.find_last_not_of(" \t\n");
	return start == std::string::npos ? "" : found.substr(start, end - start + 1);
}

std::string LoadAverage(void)
{
	const std::string line = FirstLine("/proc/loadavg", "");
	std::size_t end = 0;
	for (int field = 0; field < 3 && end != std::string::npos; field++)
		end = line.find(' ', end + (field > 0 ? 1 : 0));
	return line.substr(0, end);
}

Machine DescribeMachine(void)
{
	Machine machine;
	machine.cpus = sysconf(_SC_NPROCESSORS_ONLN);
	machine.cpuModel = FirstLine("/proc/cpuinfo", "model name");
	utsname name;
	machine.kernel = uname(&name) == 0 ? name.release : "";
	machine.loadBefore = LoadAverage();
	return machine;
}

std::string Problem(const char *what, const Program &program)
{
	return std::string(what) + ": " + program.path + (program.argument ? std::string(" ") + program.argument : "");
}

// Starts a program and waits for its first status reply: the figure a user
// sees between starting the server and being served.
pid_t StartAndProbe(const Client *client, const Program &program, std::vector<double> *startMillis,
                    Results *results)
{
	std::int64_t started = 0;
	const pid_t pid = StartProgram(program, &started);
	if (pid < 0) {
		results->problems.push_back(Problem("could not start", program));
		return -1;
	}
	Track(pid);
	const std::int64_t answered = ProbeUntilReply(client, "Status OK\n", started, ProbeInterval, StartLimit);
	if (answered < 0) {
		results->problems.push_back(Problem("no status reply after the start", program));
		KillProgram(pid);
		Untrack(pid);
		return -1;
	}
	startMillis->push_back(static_cast<double>(answered) / static_cast<double>(Millisecond));
	DrainReplies(client, QuietMilliseconds);
	return pid;
}

// Stops the server the way a user does, with EXIT, and insists on exit code 0.
void StopServer(const Client *client, pid_t pid, Results *results)
{
	SendCommand(client, "EXIT\r\n");
	const int status = WaitExit(pid, ExitLimitMilliseconds);
	Untrack(pid);
	if (status < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
		results->problems.push_back("the server did not end with exit code 0 after EXIT");
	DrainReplies(client, QuietMilliseconds);
}

Summary Last(const std::vector<double> &all, std::size_t from)
{
	return Summarize(std::vector<double>(all.begin() + static_cast<std::ptrdiff_t>(from), all.end()));
}

// One round of one target: its start, its latency series and its
// throughput, then its end.
void MeasureRound(const Client *client, const Options &options, const Target &target, Results *results)
{
	const Settings &s = options.settings;
	TargetFigures &f = *target.figures;
	const pid_t pid = StartAndProbe(client, target.program, &f.startMillis, results);
	if (pid < 0)
		return;
	const Workload mix = {MixCommands, target.isServer ? MixReplies : nullptr, 3};
	const Workload switches = {SwitchCommands, target.isServer ? SwitchReplies : nullptr, 2};
	const Workload status = {StatusCommands, target.isServer ? StatusReplies : nullptr, 1};
	const std::size_t perRound = (s.commandsPerKind + s.rounds - 1) / s.rounds;
	const auto duration = static_cast<std::int64_t>(s.throughputSeconds * 1e9);

	std::vector<double> warmUp;
	MeasureLatency(client, mix, WarmUpCommands, &warmUp, &f.tally);
	std::size_t from = f.switchMicros.size();
	MeasureLatency(client, switches, perRound, &f.switchMicros, &f.tally);
	f.switchRounds.push_back(Last(f.switchMicros, from));
	from = f.statusMicros.size();
	MeasureLatency(client, status, perRound, &f.statusMicros, &f.tally);
	f.statusRounds.push_back(Last(f.statusMicros, from));
	f.singleRounds.push_back(MeasureThroughput(client, mix, 1, duration, &f.tally));
	CpuUse before = {};
	CpuUse after = {};
	const std::uint64_t answeredBefore = f.tally.answered;
	const int unreadable = ReadCpuUse(pid, &before);
	f.windowRounds.push_back(MeasureThroughput(client, mix, s.window, duration, &f.tally));
	const std::uint64_t answered = f.tally.answered - answeredBefore;
	if (!unreadable && ReadCpuUse(pid, &after) == 0 && answered != 0)
		f.cpuRounds.push_back(static_cast<double>(after.nanoseconds - before.nanoseconds) / 1000.0 /
		                      static_cast<double>(answered));

	if (target.isServer)
		StopServer(client, pid, results);
	else {
		KillProgram(pid);
		Untrack(pid);
		DrainReplies(client, QuietMilliseconds);
	}
}

// A server that has served: its idle cost and its memory, then how fast a
// new instance takes over from it, replacement after replacement.
void MeasureServerLife(const Client *client, const Options &options, const Program &server, Results *results)
{
	const Settings &s = options.settings;
	pid_t pid = StartAndProbe(client, server, &results->server.startMillis, results);
	if (pid < 0)
		return;
	const Workload mix = {MixCommands, MixReplies, 3};
	std::vector<double> load;
	MeasureLatency(client, mix, 1000, &load, &results->server.tally);
	DrainReplies(client, QuietMilliseconds);

	CpuUse before = {};
	CpuUse after = {};
	SleepNanoseconds(100 * Millisecond);
	const std::int64_t idleStart = NowNanoseconds();
	const int unreadable = ReadCpuUse(pid, &before);
	SleepNanoseconds(static_cast<std::int64_t>(s.idleSeconds * 1e9));
	const std::int64_t idleEnd = NowNanoseconds();
	if (unreadable || ReadCpuUse(pid, &after) != 0) {
		results->problems.push_back("could not read the server's CPU use from /proc");
	} else {
		const double window = static_cast<double>(idleEnd - idleStart);
		results->idleCpuPercent = 100.0 * static_cast<double>(after.nanoseconds - before.nanoseconds) / window;
		results->idleTicks = static_cast<double>(after.ticks - before.ticks);
		results->idleWakeupsPerSecond = static_cast<double>(after.switches - before.switches) * 1e9 / window;
	}
	const long rss = ReadStatusKibibytes(pid, "VmRSS:");
	const long hwm = ReadStatusKibibytes(pid, "VmHWM:");
	if (rss >= 0 && hwm >= 0) {
		results->rssKibibytes = static_cast<double>(rss);
		results->hwmKibibytes = static_cast<double>(hwm);
	} else
		results->problems.push_back("could not read the server's memory from /proc");

	for (std::size_t i = 0; i < s.replacements; i++) {
		SendCommand(client, LongDeadline);
		DrainReplies(client, QuietMilliseconds);
		std::int64_t started = 0;
		const pid_t next = StartProgram(server, &started);
		if (next < 0) {
			results->problems.push_back(Problem("could not start", server));
			break;
		}
		Track(next);
		const std::int64_t answered =
			ProbeUntilReply(client, "Status OK\n", started, ProbeInterval, StartLimit);
		const int status = WaitExit(pid, ExitLimitMilliseconds);
		Untrack(pid);
		pid = next;
		if (status < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
			results->problems.push_back("a replaced server did not end with exit code 0");
		if (answered < 0) {
			results->problems.push_back("a replacing server gave no status reply");
			KillProgram(pid);
			Untrack(pid);
			return;
		}
		results->replaceMillis.push_back(static_cast<double>(answered) / static_cast<double>(Millisecond));
		DrainReplies(client, QuietMilliseconds);
	}
	StopServer(client, pid, results);
}

std::string OwnPath(void)
{
	char path[4096];
	const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
	if (length <= 0)
		return "";
	path[length] = '\0';
	return path;
}

void ShowProgramOutput(const std::string &logPath)
{
	FILE *log = std::fopen(logPath.c_str(), "r");
	if (log == nullptr)
		return;
	char line[512];
	while (std::fgets(line, sizeof line, log) != nullptr)
		std::fprintf(stderr, "tamborixel-bench: program said: %s", line);
	std::fclose(log);
}

} // namespace

int main(int argc, char **argv)
{
	if (argc == 2 && std::strcmp(argv[1], "--responder") == 0)
		return RunBareResponder();

	Options options;
	if (ParseOptions(argc, argv, &options) != 0)
		return 2;

	struct sigaction action = {};
	action.sa_handler = OnInterrupt;
	sigaction(SIGINT, &action, nullptr);
	sigaction(SIGTERM, &action, nullptr);

	Results results = {};
	results.idleCpuPercent = std::nan("");
	results.idleTicks = std::nan("");
	results.idleWakeupsPerSecond = std::nan("");
	results.rssKibibytes = std::nan("");
	results.hwmKibibytes = std::nan("");
	results.settings = options.settings;
	results.machine = DescribeMachine();

	Client client = {-1, -1};
	if (ClientOpen(&client) != 0) {
		std::fprintf(stderr, "tamborixel-bench: port 3111 is in use; run it in a network namespace "
		                     "of its own, as scripts/bench does\n");
		return 1;
	}
	if (SomethingAnswers(&client, 200)) {
		std::fprintf(stderr, "tamborixel-bench: something already answers on port 3110; run it in "
		                     "a network namespace of its own, as scripts/bench does\n");
		return 1;
	}
	char workTemplate[] = "/tmp/tamborixel-bench.XXXXXX";
	if (mkdtemp(workTemplate) == nullptr) {
		std::perror("tamborixel-bench: mkdtemp");
		return 1;
	}
	const std::string workDir = workTemplate;
	const std::string logPath = workDir + "/programs.log";
	const std::string self = OwnPath();

	TargetFigures *server = &results.server;
	TargetFigures *bare = &results.bare;
	const Program serverProgram = {options.server.c_str(), nullptr, options.boardDir.c_str(),
	                               workDir.c_str(), logPath.c_str()};
	const Program bareProgram = {self.c_str(), "--responder", nullptr, workDir.c_str(), logPath.c_str()};
	const Target targets[2] = {{bareProgram, bare, 0}, {serverProgram, server, 1}};

	// Alternating which target goes first spreads a slow phase of the
	// machine over both.
	for (std::size_t round = 0; round < options.settings.rounds && results.problems.empty(); round++) {
		MeasureRound(&client, options, targets[round % 2], &results);
		MeasureRound(&client, options, targets[1 - round % 2], &results);
	}
	if (results.problems.empty())
		MeasureServerLife(&client, options, serverProgram, &results);

	Tally all = results.server.tally;
	AddTally(&all, results.bare.tally);
	if (all.lost != 0 || all.wrong != 0)
		results.problems.push_back("replies were lost or wrong");
	results.machine.loadAfter = LoadAverage();
	ClientClose(&client);

	if (options.json)
		PrintJson(results);
	else
		PrintTable(results);
	if (!results.problems.empty())
		ShowProgramOutput(logPath);
	std::remove(logPath.c_str());
	rmdir(workDir.c_str());
	return results.problems.empty() ? 0 : 1;
}
