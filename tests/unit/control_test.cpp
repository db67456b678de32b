// The mark of a running instance, the main loop and the quit request. A
// process runs its loop once, so each Ends* test runs in a process of its own.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "app/control.h"
#include "tests/unit/control_probe.h"

namespace {

TEST(Mark, OnlyTheExactNameCounts)
{
	if (FindRunningInstance())
		GTEST_SKIP() << "another tamborixel instance runs on this machine";
	const int foreign = MakeForeignMark("tamborixel");
	if (foreign == 0) {
		ASSERT_EQ(MakeForeignMark("TAMBORIXEL2"), 0);
		EXPECT_EQ(FindRunningInstance(), 0);
	}

	RegisterControlClass();
	ASSERT_NE(CreateControlWindow(0), 0u);
	EXPECT_EQ(FindRunningInstance(), 1);
}

TEST(Loop, EndsOnTheQuitRequest)
{
	RegisterControlClass();
	// Before the loop runs the request has no effect and must not wait.
	SendQuitRequest();
	ASSERT_NE(CreateControlWindow(0), 0u);
	SendQuitRequest();

	std::atomic<int> returned{0};
	std::thread listener([&returned] {
		// The loop may not have started yet; requests before it are lost.
		while (returned.load() == 0) {
			SendQuitRequest();
			std::this_thread::sleep_for(std::chrono::milliseconds(20));
		}
	});
	const int exitValue = RunMessageLoop();
	returned.store(1);
	listener.join();
	EXPECT_EQ(exitValue, 0);
	// After the loop has ended it has no effect either.
	SendQuitRequest();
}

TEST(Loop, EndsOnTheCloseRequest)
{
	RegisterControlClass();
	const ControlHandle control = CreateControlWindow(0);
	ASSERT_NE(control, 0u);
	std::atomic<int> returned{0};
	std::thread closer([&returned, control] {
		while (returned.load() == 0) {
			SendCloseRequest(control);
			std::this_thread::sleep_for(std::chrono::milliseconds(50));
		}
	});
	EXPECT_EQ(RunMessageLoop(), 0);
	returned.store(1);
	closer.join();
}

} // namespace
