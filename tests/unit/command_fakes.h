// Recording stand-ins for everything the command processor calls outward:
// the outputs, the reply sender, the clock, the pause, the stop and the quit
// request. Every call lands in one timeline, so order is checked too.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct FakeWorld {
	std::vector<std::string> events;
	std::int64_t now = 1000000;
	int redResult = 0;   // what SetSignalOutput answers for GPIO 0
	int greenResult = 0; // ... and for GPIO 1
	int stopDuringPause = 0;
	int stopRaised = 0;
};

extern FakeWorld fake;

void ResetFakeWorld(void);
