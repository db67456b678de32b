// The figures of one run, and the two ways of showing them: a table for a
// person and JSON for a program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "bench/udp_client.h"

struct Summary {
	double median;
	double p99;
	double max;
	std::size_t count;
};

Summary Summarize(std::vector<double> values);

// What one target (the server or the bare responder) showed over all rounds.
struct TargetFigures {
	std::vector<double> switchMicros;
	std::vector<double> statusMicros;
	// One entry per round, so that the spread between rounds shows the
	// machine's noise.
	std::vector<Summary> switchRounds;
	std::vector<Summary> statusRounds;
	std::vector<double> singleRounds; // commands per second, one in flight
	std::vector<double> windowRounds; // commands per second, a window in flight
	// The target's own CPU time per command while the window was in flight:
	// what throughput costs, read from the kernel and not from a clock that
	// other programs on the machine can stretch.
	std::vector<double> cpuRounds;
	std::vector<double> startMillis;  // exec to the first status reply
	Tally tally;
};

struct Machine {
	long cpus;
	std::string cpuModel;
	std::string kernel;
	std::string loadBefore; // /proc/loadavg, the three averages
	std::string loadAfter;
};

struct Settings {
	int smoke;
	std::size_t rounds;
	std::size_t commandsPerKind; // per target, over all rounds
	std::size_t window;
	double throughputSeconds; // per target, per round and window
	double idleSeconds;
	std::size_t replacements;
};

struct Results {
	Machine machine;
	Settings settings;
	TargetFigures server;
	TargetFigures bare;
	std::vector<double> replaceMillis; // a replacing server's exec to its first status reply
	// NaN until measured.
	double idleCpuPercent;
	double idleTicks;
	double idleWakeupsPerSecond;
	double rssKibibytes;
	double hwmKibibytes;
	std::vector<std::string> problems; // anything that makes the run fail
};

void PrintTable(const Results &results);
void PrintJson(const Results &results);
