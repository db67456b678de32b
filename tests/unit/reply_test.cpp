#include <gtest/gtest.h>

#include <string>

#include "net/reply.h"
#include "tests/unit/udp_probe.h"

namespace {

// Long enough for any machine, however loaded; only "nothing came" waits it out.
const int Patience = 5000;
const int Quiet = 300;

class ReplySender : public ::testing::Test {
protected:
	void Open(const char *address) { ASSERT_EQ(ProbeOpen(&probe, address), 0); }
	void TearDown() override { ProbeClose(&probe); }
	UdpProbe probe = {};
};

TEST_F(ReplySender, SendsExactlyTheTextAsOneDatagram)
{
	Open("127.0.0.1");
	SendReply("Status OK\n", "127.0.0.1", probe.port);
	std::string got;
	ASSERT_EQ(ProbeReceive(&probe, &got, Patience), 0);
	EXPECT_EQ(got, "Status OK\n");
	EXPECT_EQ(got.size(), 10u);
}

TEST_F(ReplySender, SendsEveryByteOfALongReply)
{
	Open("127.0.0.1");
	const std::string text = "CLEAR " + std::string(245, '9') + " OK\n";
	SendReply(text.c_str(), "127.0.0.1", probe.port);
	std::string got;
	ASSERT_EQ(ProbeReceive(&probe, &got, Patience), 0);
	EXPECT_EQ(got, text);
}

TEST_F(ReplySender, EmptyHostSendsNothing)
{
	Open("127.0.0.1");
	SendReply("Status OK\n", "", probe.port);
	std::string got;
	EXPECT_NE(ProbeReceive(&probe, &got, Quiet), 0) << got;
}

TEST_F(ReplySender, BroadcastTargetGetsTheBroadcastOption)
{
	// Without the broadcast option the system refuses to send to the
	// loopback broadcast address, so arrival proves the option was set.
	Open("0.0.0.0");
	SendReply("Status OK\n", "127.255.255.255", probe.port);
	std::string got;
	ASSERT_EQ(ProbeReceive(&probe, &got, Patience), 0);
	EXPECT_EQ(got, "Status OK\n");
}

TEST(BroadcastHost, OnlyTheThreeCharactersAfterTheLastDotCount)
{
	const struct {
		const char *host;
		int broadcast;
	} cases[] = {
		{"192.168.1.255", 1}, {"192.168.1.25", 0}, {"192.168.1.2550", 1}, {"255.255.255.254", 0},
		{"10.255.0.1", 0},    {"255", 0},          {"", 0},               {"10.0.0.", 0},
	};
	for (const auto &c : cases)
		EXPECT_EQ(IsBroadcastHost(c.host), c.broadcast) << c.host;
}

} // namespace
