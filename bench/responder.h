// The bare responder: the least any program can do to answer this protocol,
// and so the limit the server is measured against.
#pragma once

// Receives datagrams on the command port and answers each one to the
// sender's address on the reply port from a fresh socket, until it is
// killed. Returns only when the port cannot be had (exit code 1).
int RunBareResponder(void);
