#include "tests/unit/command_fakes.h"

#include "app/control.h"
#include "app/runtime.h"
#include "net/reply.h"
#include "outputs/signal_outputs.h"

FakeWorld fake;

void ResetFakeWorld(void)
{
	fake = FakeWorld{};
}

int SetSignalOutput(std::uint32_t gpioId, std::uint32_t level)
{
	fake.events.push_back("switch " + std::to_string(gpioId) + " " + std::to_string(level));
	return gpioId == 0 ? fake.redResult : fake.greenResult;
}

void SendReply(const char *text, const char *host, std::uint16_t port)
{
	fake.events.push_back("reply " + std::string(host) + ":" + std::to_string(port) + " " + text);
}

std::int64_t CurrentTime(void)
{
	return fake.now;
}

int PauseMilliseconds(std::uint32_t milliseconds)
{
	fake.events.push_back("pause " + std::to_string(milliseconds));
	if (fake.stopDuringPause) {
		fake.stopRaised = 1;
		return 1;
	}
	fake.now += milliseconds / 1000;
	return 0;
}

int StopRaised(void)
{
	return fake.stopRaised;
}

void SendQuitRequest(void)
{
	fake.events.push_back("quit");
}
