// Datagrams no client should send: too large, binary. The server must stay
// sound and keep answering.
#include <algorithm>
#include <cctype>
#include <random>
#include <string>
#include <vector>

#include "tests/e2e/harness.h"

namespace {

// A command, a NUL byte and padding up to size: the text before the NUL is
// what counts, so a datagram that is handled gives a reply whatever its
// size. (Without the NUL, 1023 characters would meet the length rule.)
std::string Padded(std::size_t size)
{
	std::string datagram("GREEN ON\r\n");
	datagram += '\0';
	datagram.resize(size, 'x');
	return datagram;
}

struct SizeCase {
	std::size_t size;
	bool handled;
};

// A datagram without room for its terminating NUL in the 1024-byte receive
// buffer is dropped whole, never acted on in part.
const SizeCase SizeCases[] = {
	{1024, false},
	{1025, false},
	{9000, false},
	{65507, false}, // the largest an IPv4 UDP datagram can carry
	{1023, true},
	{1022, true},
};

TEST_F(E2e, DatagramsFromTheReceiveBufferSizeOnAreDropped)
{
	Instance &server = StartServer();
	for (const SizeCase &c : SizeCases) {
		SCOPED_TRACE(testing::Message() << c.size << " bytes");
		Send(Padded(c.size));
		if (c.handled)
			ExpectReply("GREEN ON OK\n");
		Barrier();
	}
	std::vector<std::string> switched = StartTrace;
	for (const SizeCase &c : SizeCases)
		if (c.handled)
			switched = Join({switched, Switched(1, 1)});
	EXPECT_EQ(Trace(server), switched);
	StopWithExit(server);
}

std::string Upper(std::string text)
{
	std::transform(text.begin(), text.end(), text.begin(),
	               [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
	return text;
}

TEST_F(E2e, RandomBytesLeaveServerAnswering)
{
	std::mt19937 generator(3110);
	std::uniform_int_distribution<int> byte(0, 255);
	std::vector<std::string> junk(8);
	for (std::string &datagram : junk) {
		for (int i = 0; i < 300; i++)
			datagram += static_cast<char>(byte(generator));
		// What follows relies on the junk holding neither word.
		ASSERT_EQ(Upper(datagram).find("EXIT"), std::string::npos);
		ASSERT_EQ(Upper(datagram).find("RESET"), std::string::npos);
	}

	Instance &server = StartServer();
	for (const std::string &datagram : junk)
		Send(datagram);
	// Ends whatever line the junk left pending; what it answers is open.
	Send("\r\n");
	Send("SLEEP SYNC\r\n");
	bool synced = false;
	for (int i = 0; i < 50 && !synced; i++) {
		const std::optional<std::string> reply = replies.Receive(ReplyLimit);
		ASSERT_TRUE(reply.has_value()) << "the server stopped answering";
		synced = *reply == "SLEEP SYNC OK\n";
	}
	ASSERT_TRUE(synced);
	Barrier();
	Send("RED ON\r\n");
	ExpectReply("RED ON OK\n");
	StopWithExit(server);
}

} // namespace
