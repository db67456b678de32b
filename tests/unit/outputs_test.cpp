// The EAPI library as the program loads it: the simulated board when it can
// be found (Loaded*), nothing when it cannot (Missing*). The tests of one
// group share one loaded library and run in the order written.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "outputs/eapi.h"
#include "outputs/signal_outputs.h"

namespace {

const char TracePath[] = "outputs_test_trace.txt";

std::string TakeTrace(void)
{
	std::ifstream file(TracePath);
	std::stringstream text;
	text << file.rdbuf();
	file.close();
	std::remove(TracePath);
	return text.str();
}

void Fail(const char *list)
{
	static char setting[256];
	std::snprintf(setting, sizeof setting, "EAPI_SIM_FAIL=%s", list);
	putenv(setting);
}

class Loaded : public ::testing::Test {
protected:
	static void SetUpTestSuite()
	{
		static char trace[] = "EAPI_SIM_TRACE=outputs_test_trace.txt";
		putenv(trace);
		std::remove(TracePath);
	}
	void SetUp() override { Fail(""); }
};

TEST_F(Loaded, StartUpCallsAreTraced)
{
	std::uint32_t inputs = 0, outputs = 0;
	EXPECT_EQ(EApiLibInitialize(), EAPI_STATUS_SUCCESS);
	EXPECT_EQ(EApiGPIOGetDirectionCaps(0, &inputs, &outputs), EAPI_STATUS_SUCCESS);
	EXPECT_EQ(TakeTrace(), "EApiLibInitialize -> 0x00000000\n"
	                       "EApiGPIOGetDirectionCaps 0 -> 0x00000000\n");
}

TEST_F(Loaded, SwitchSetsDirectionThenLevel)
{
	EXPECT_EQ(SetSignalOutput(1, 1), 0);
	EXPECT_EQ(SetSignalOutput(0, 0), 0);
	EXPECT_EQ(TakeTrace(), "EApiGPIOSetDirection 1 0xFFFFFFFF 0 -> 0x00000000\n"
	                       "EApiGPIOSetLevel 1 0xFFFFFFFF 1 -> 0x00000000\n"
	                       "EApiGPIOSetDirection 0 0xFFFFFFFF 0 -> 0x00000000\n"
	                       "EApiGPIOSetLevel 0 0xFFFFFFFF 0 -> 0x00000000\n");
}

TEST_F(Loaded, FailedDirectionSkipsTheLevel)
{
	Fail("EApiGPIOSetDirection:1");
	EXPECT_EQ(SetSignalOutput(1, 1), 1);
	EXPECT_EQ(SetSignalOutput(0, 1), 0);
	EXPECT_EQ(TakeTrace(), "EApiGPIOSetDirection 1 0xFFFFFFFF 0 -> 0xFFFFF0FF\n"
	                       "EApiGPIOSetDirection 0 0xFFFFFFFF 0 -> 0x00000000\n"
	                       "EApiGPIOSetLevel 0 0xFFFFFFFF 1 -> 0x00000000\n");
}

TEST_F(Loaded, FailedLevelFailsTheSwitch)
{
	Fail("EApiLibInitialize,EApiGPIOSetLevel");
	EXPECT_EQ(SetSignalOutput(0, 0), 1);
	EXPECT_EQ(TakeTrace(), "EApiGPIOSetDirection 0 0xFFFFFFFF 0 -> 0x00000000\n"
	                       "EApiGPIOSetLevel 0 0xFFFFFFFF 0 -> 0xFFFFF0FF\n");
}

TEST_F(Loaded, AllFailsEveryCall)
{
	Fail("all");
	std::uint32_t inputs = 0, outputs = 0;
	EXPECT_EQ(EApiLibInitialize(), 0xFFFFF0FFu);
	EXPECT_EQ(EApiGPIOGetDirectionCaps(0, &inputs, &outputs), 0xFFFFF0FFu);
	EXPECT_EQ(SetSignalOutput(1, 0), 1);
	EXPECT_EQ(TakeTrace(), "EApiLibInitialize -> 0xFFFFF0FF\n"
	                       "EApiGPIOGetDirectionCaps 0 -> 0xFFFFF0FF\n"
	                       "EApiGPIOSetDirection 1 0xFFFFFFFF 0 -> 0xFFFFF0FF\n");
}

TEST_F(Loaded, NothingIsCalledAfterTheRelease)
{
	EXPECT_EQ(ReleaseSignalLibrary(), 0);
	EXPECT_EQ(SetSignalOutput(0, 1), 1);
	EXPECT_EQ(EApiLibInitialize(), EAPI_STATUS_NOT_INITIALIZED);
	EXPECT_EQ(ReleaseSignalLibrary(), 1);
	EXPECT_EQ(TakeTrace(), "EApiLibUnInitialize -> 0x00000000\n");
}

TEST(Missing, EveryCallFailsAndTheProgramRunsOn)
{
	std::uint32_t inputs = 0, outputs = 0;
	EXPECT_EQ(EApiLibInitialize(), EAPI_STATUS_NOT_INITIALIZED);
	EXPECT_EQ(EApiGPIOGetDirectionCaps(0, &inputs, &outputs), EAPI_STATUS_NOT_INITIALIZED);
	EXPECT_EQ(SetSignalOutput(0, 1), 1);
	EXPECT_EQ(SetSignalOutput(1, 0), 1);
	EXPECT_EQ(ReleaseSignalLibrary(), 1);
}

} // namespace
