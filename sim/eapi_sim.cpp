// A simulated board for tests and demos: the five EAPI functions the
// program uses, over eight GPIO pins held in memory. It reads
//   EAPI_SIM_TRACE=<file>  append one line per call, flushed at once;
//   EAPI_SIM_FAIL=<list>   comma-separated names, each optionally NAME:ID,
//                          or "all": those calls fail (and are still traced);
// and draws the RED and GREEN lamps on standard error when that is a terminal.
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sim/terminal.h"

namespace {

typedef std::uint32_t Status;

constexpr Status Success = 0x00000000;
constexpr Status Failed = 0xFFFFF0FF;       // what EAPI_SIM_FAIL makes a call return
constexpr Status Unsupported = 0xFFFFFCFF;  // no such pin
constexpr Status InvalidParameter = 0xFFFFFEFF;
constexpr Status WrongDirection = 0xFFFFFDFF; // a level for a pin that is no output
constexpr std::uint32_t PinCount = 8;
constexpr std::uint32_t NoPin = 0xFFFFFFFF;

// Pins start as inputs (direction 1) at level 0.
std::uint32_t direction[PinCount] = {1, 1, 1, 1, 1, 1, 1, 1};
std::uint32_t level[PinCount];

void Trace(const char *line)
{
	const char *path = std::getenv("EAPI_SIM_TRACE");
	if (path == nullptr || *path == '\0')
		return;
	// Opened per call so that every line is on disk before the call returns,
	// in binary so that lines end in LF on Windows too,
	// whoever reads the file and however the process ends.
	FILE *file = std::fopen(path, "ab");
	if (file == nullptr)
		return;
	std::fputs(line, file);
	std::fclose(file);
}

// Whether EAPI_SIM_FAIL names this call: "all", "NAME", or "NAME:ID".
int Fails(const char *function, std::uint32_t id)
{
	const char *list = std::getenv("EAPI_SIM_FAIL");
	if (list == nullptr)
		return 0;
	const std::size_t nameLength = std::strlen(function);
	while (*list != '\0') {
		const char *end = std::strchr(list, ',');
		const std::size_t length = end ? static_cast<std::size_t>(end - list) : std::strlen(list);
		if (length == 3 && std::strncmp(list, "all", 3) == 0)
			return 1;
		if (length >= nameLength && std::strncmp(list, function, nameLength) == 0) {
			if (length == nameLength)
				return 1;
			if (list[nameLength] == ':' && id != NoPin) {
				char *digitsEnd;
				const unsigned long wanted = std::strtoul(list + nameLength + 1, &digitsEnd, 10);
				if (digitsEnd == list + length && wanted == id)
					return 1;
			}
		}
		if (end == nullptr)
			break;
		list = end + 1;
	}
	return 0;
}

void DrawLamps(void)
{
	if (!ErrorStreamIsTerminal())
		return;
	const int red = direction[0] == 0 && level[0] != 0;
	const int green = direction[1] == 0 && level[1] != 0;
	std::fprintf(stderr, "RED %s GREEN %s\n", red ? "\xE2\x97\x8F" : "\xE2\x97\x8B",
	             green ? "\xE2\x97\x8F" : "\xE2\x97\x8B");
	std::fflush(stderr);
}

Status NoArgumentCall(const char *function)
{
	const Status status = Fails(function, NoPin) ? Failed : Success;
	char line[128];
	std::snprintf(line, sizeof line, "%s -> 0x%08" PRIX32 "\n", function, status);
	Trace(line);
	return status;
}

Status GpioCall(const char *function, std::uint32_t id, std::uint32_t bitmask, std::uint32_t value)
{
	Status status = Success;
	if (Fails(function, id))
		status = Failed;
	else if (id >= PinCount)
		status = Unsupported;
	else if (bitmask == 0)
		status = InvalidParameter;
	else if (std::strcmp(function, "EApiGPIOSetDirection") == 0)
		direction[id] = value != 0 ? 1 : 0;
	else if (direction[id] != 0)
		status = WrongDirection;
	else if (level[id] != (value != 0 ? 1u : 0u)) {
		level[id] = value != 0 ? 1 : 0;
		if (id <= 1)
			DrawLamps();
	}
	char line[128];
	std::snprintf(line, sizeof line, "%s %" PRIu32 " 0x%08" PRIX32 " %" PRIu32 " -> 0x%08" PRIX32 "\n",
	              function, id, bitmask, value, status);
	Trace(line);
	return status;
}

} // namespace

extern "C" {

Status EApiLibInitialize(void)
{
	return NoArgumentCall("EApiLibInitialize");
}

Status EApiLibUnInitialize(void)
{
	return NoArgumentCall("EApiLibUnInitialize");
}

Status EApiGPIOGetDirectionCaps(std::uint32_t id, std::uint32_t *inputs, std::uint32_t *outputs)
{
	Status status = Success;
	if (Fails("EApiGPIOGetDirectionCaps", id))
		status = Failed;
	else if (id >= PinCount)
		status = Unsupported;
	else if (inputs == nullptr || outputs == nullptr)
		status = InvalidParameter;
	else {
		// Every pin of the simulated board can be an input and an output.
		*inputs = 1;
		*outputs = 1;
	}
	char line[128];
	std::snprintf(line, sizeof line, "EApiGPIOGetDirectionCaps %" PRIu32 " -> 0x%08" PRIX32 "\n",
	              id, status);
	Trace(line);
	return status;
}

Status EApiGPIOSetDirection(std::uint32_t id, std::uint32_t bitmask, std::uint32_t newDirection)
{
	return GpioCall("EApiGPIOSetDirection", id, bitmask, newDirection);
}

Status EApiGPIOSetLevel(std::uint32_t id, std::uint32_t bitmask, std::uint32_t newLevel)
{
	return GpioCall("EApiGPIOSetLevel", id, bitmask, newLevel);
}

} // extern "C"
