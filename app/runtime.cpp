#include "app/runtime.h"

#include <ctime>

std::int64_t CurrentTime(void)
{
	return static_cast<std::int64_t>(std::time(nullptr));
}
