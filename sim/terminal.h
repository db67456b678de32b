#pragma once

// 1 when standard error is a terminal a person is looking at.
int ErrorStreamIsTerminal(void);
