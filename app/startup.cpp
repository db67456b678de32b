#include "app/startup.h"

#include <cstdio>
#include <cstring>

#include "app/listener_thread.h"
#include "command/processor.h"
#include "net/reply.h"
#include "outputs/eapi.h"
#include "outputs/signal_outputs.h"

namespace {

void TellRunningServerToStop(void)
{
	SendReply("EXIT\r", "127.0.0.1", CommandPort);
}

} // namespace

int RunProgram(InstanceHandle instance, char *commandLine)
{
	char command[NewTextSize] = {};
	PendingLine oneShotPending = {};
	ReplyAddress oneShotReply = {};
	ResetDeadline oneShotDeadline = 0;

	RegisterControlClass();
	UpperCaseText(commandLine);
	const std::size_t length = std::strlen(commandLine);
	// With the CR appended such a text could never pass the length rule,
	// so it is refused here without being cut.
	const int fits = length + 2 <= sizeof command;
	if (fits)
		std::memcpy(command, commandLine, length + 1);

	if (std::strstr(commandLine, "EXIT") != nullptr) {
		TellRunningServerToStop();
		return 0;
	}
	if (FindRunningInstance())
		TellRunningServerToStop();
	if (CreateControlWindow(instance) == 0)
		return 0;
	std::remove("Info.log");

	std::uint32_t inputs = 0;
	std::uint32_t outputs = 0;
	EApiLibInitialize();
	EApiGPIOGetDirectionCaps(GpioRed, &inputs, &outputs);

	if (length != 0) {
		if (fits) {
			std::strcat(command, "\r");
			ProcessCommandData(command, oneShotPending, oneShotReply, &oneShotDeadline);
		}
		ReleaseSignalLibrary();
		return 0;
	}

	StartListener();
	const int exitValue = RunMessageLoop();
	// The listener goes first: it must not switch anything, nor touch the
	// EAPI library, once the loop has ended.
	// A listener held by an open question ends with the process instead.
	if (StopListener() == 0)
		ReleaseSignalLibrary();
	return exitValue;
}
