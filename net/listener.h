// The listener: receives command datagrams on the command port, hands them to
// the command processor and keeps the reset deadline.
#pragma once

// The body of the listener thread. It returns when the stop is raised or
// when it cannot go on (no socket, port not to be had, a receive error).
void ListenerThread(void);
